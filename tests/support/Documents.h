#pragma once

#include <string>

#include <orvik/Data.h>
#include <orvik/Documents.h>

#include "support/TempDir.h"

namespace OrvikFramework::Testing {

// A fresh temporary folder serving as the Documents directory for the lifetime of the object.
class ScopedDocuments {
public:
    ScopedDocuments() { Documents::setDirectory(dir_.path().string()); }
    ~ScopedDocuments() { Documents::setDirectory(std::nullopt); }
    ScopedDocuments(const ScopedDocuments&) = delete;
    ScopedDocuments& operator=(const ScopedDocuments&) = delete;

    std::string file(const std::string& name) const { return dir_.file(name); }
    void write(const std::string& name, const Data& bytes) const { writeFile(file(name), bytes); }

private:
    TempDir dir_;
};

}  // namespace OrvikFramework::Testing
