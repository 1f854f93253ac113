#include "support/https_test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>

namespace hp::test {

namespace {

// The first line the child writes, waiting at most `seconds`.
std::string read_line(int fd, int seconds) {
    std::string line;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return {};
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
        char c;
        if (read(fd, &c, 1) != 1) return {};
        if (c == '\n') return line;
        line.push_back(c);
    }
}

}  // namespace

HttpsTestServer::HttpsTestServer(const std::filesystem::path& dir) {
    const std::string script = std::string(HP_SOURCE_DIR) + "/tests/support/https_test_server.py";
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        execl("/usr/bin/python3", "python3", script.c_str(), dir.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toServer_ = in[1];
    if (pid_ < 0) {
        close(out[0]);
        return;
    }
    // Two RSA keys and the servers: a few seconds on a busy machine.
    const std::string line = read_line(out[0], 60);
    close(out[0]);
    const auto info = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!info.is_object() || !info.contains("ports")) return;
    caPem_ = info.value("caPem", "");
    log_ = info.value("log", "");
    for (const auto& [name, port] : info["ports"].items()) ports_[name] = port.get<std::uint16_t>();
}

HttpsTestServer::~HttpsTestServer() {
    if (toServer_ >= 0) close(toServer_);  // the server's signal to stop
    if (pid_ > 0) {
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            usleep(50 * 1000);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::uint16_t HttpsTestServer::port(const std::string& caseName) const {
    const auto it = ports_.find(caseName);
    return it == ports_.end() ? 0 : it->second;
}

std::vector<LoggedRequest> HttpsTestServer::requests() const {
    std::vector<LoggedRequest> out;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
        const auto j = nlohmann::json::parse(line, nullptr, false);
        if (!j.is_object()) continue;
        out.push_back({j.value("case", ""), j.value("method", ""), j.value("path", ""),
                       j.value("userAgent", "")});
    }
    return out;
}

}  // namespace hp::test
