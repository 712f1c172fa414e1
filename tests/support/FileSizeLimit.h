#pragma once

#include <csignal>

#include <sys/resource.h>

namespace OrvikFramework::Testing {

// Caps the size of files this process may write (writes past it fail with EFBIG instead of raising SIGXFSZ)
// until the object ends. Keep assertions outside its lifetime: test output may be going to a file.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit capped{bytes, previous_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    void (*previousHandler_)(int);
    rlimit previous_{};
};

}  // namespace OrvikFramework::Testing
