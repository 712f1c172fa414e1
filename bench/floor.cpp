// The floor for a whole-process print job: the job's bytes, already made, read from a file and written to a TCP
// socket with nothing else.   orvik_floor FILE HOST PORT
#include <arpa/inet.h>
#include <netinet/in.h>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    std::FILE* file = std::fopen(argv[1], "rb");
    if (!file) return 1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[3])));
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (inet_pton(AF_INET, argv[2], &to.sin_addr) != 1) return 2;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return 1;
    static char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        for (std::size_t sent = 0; sent < n;) {
            const ssize_t w = send(fd, buffer + sent, n - sent, 0);
            if (w <= 0) return 1;
            sent += static_cast<std::size_t>(w);
        }
    return close(fd) != 0;
}
