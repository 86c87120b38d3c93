#include "support/doc_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace gntest {

namespace {

std::string base64(const std::string& in) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += i + 1 < in.size() ? digits[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? digits[v & 63] : '=';
    }
    return out;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string DocRequest::header(const std::string& name) const {
    const std::string want = lower(name) + ":";
    size_t pos = 0;
    while (pos < headers.size()) {
        size_t end = headers.find("\r\n", pos);
        if (end == std::string::npos) end = headers.size();
        const std::string line = headers.substr(pos, end - pos);
        if (lower(line.substr(0, want.size())) == want) {
            size_t v = want.size();
            while (v < line.size() && line[v] == ' ') ++v;
            return line.substr(v);
        }
        pos = end + 2;
    }
    return {};
}

DocServer::DocServer() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    wsa_ = true;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int len = sizeof addr;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        closesocket(s);
        return;
    }
    port_ = ntohs(addr.sin_port);
    listener_ = s;
    acceptor_ = std::thread([this] { accept_loop(); });
}

DocServer::~DocServer() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    {
        std::lock_guard<std::mutex> g(lock_);
        for (SOCKET c : clients_) shutdown(c, SD_BOTH);
    }
    for (std::thread& t : workers_)
        if (t.joinable()) t.join();
    if (wsa_) WSACleanup();
}

std::string DocServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::wstring DocServer::wurl(const std::string& path) const {
    const std::string u = url(path);
    return std::wstring(u.begin(), u.end());
}

void DocServer::route(const std::string& path, const DocRoute& r) {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& entry : routes_)
        if (entry.first == path) {
            entry.second = r;
            return;
        }
    routes_.emplace_back(path, r);
}

std::vector<DocRequest> DocServer::requests() const {
    std::lock_guard<std::mutex> g(lock_);
    return requests_;
}

size_t DocServer::request_count(const std::string& path) const {
    std::lock_guard<std::mutex> g(lock_);
    size_t n = 0;
    for (const DocRequest& r : requests_)
        if (r.target.substr(0, r.target.find('?')) == path) ++n;
    return n;
}

void DocServer::fill_body(unsigned long long offset, char* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>(body_byte(offset + i));
}

bool DocServer::body_matches(const std::string& data) {
    for (size_t i = 0; i < data.size(); ++i)
        if (static_cast<unsigned char>(data[i]) != body_byte(i)) return false;
    return true;
}

void DocServer::accept_loop() {
    while (!stopping_) {
        // Wakes up now and then so that a stop never waits on a blocked accept.
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval wait{0, 100000};
        if (select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET c = accept(listener_, nullptr, nullptr);
        if (c == INVALID_SOCKET) {
            if (stopping_) return;
            continue;
        }
        std::lock_guard<std::mutex> g(lock_);
        if (stopping_) {
            closesocket(c);
            return;
        }
        clients_.push_back(c);
        workers_.emplace_back([this, c] { serve(c); });
    }
}

bool DocServer::send_all(SOCKET s, const char* data, size_t n) {
    while (n) {
        const int chunk = static_cast<int>(std::min<size_t>(n, 1 << 20));
        const int sent = send(s, data, chunk, 0);
        if (sent <= 0) return false;
        data += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

void DocServer::serve(SOCKET s) {
    // The request: everything up to the blank line (bounded).
    std::string in;
    char buf[4096];
    while (in.find("\r\n\r\n") == std::string::npos && in.size() < 65536) {
        const int got = recv(s, buf, sizeof buf, 0);
        if (got <= 0) break;
        in.append(buf, static_cast<size_t>(got));
    }
    DocRequest req;
    const size_t line_end = in.find("\r\n");
    if (line_end != std::string::npos) {
        const std::string line = in.substr(0, line_end);
        const size_t a = line.find(' ');
        const size_t b = line.rfind(' ');
        if (a != std::string::npos && b > a) {
            req.method = line.substr(0, a);
            req.target = line.substr(a + 1, b - a - 1);
        }
        const size_t head_end = in.find("\r\n\r\n");
        if (head_end != std::string::npos && head_end > line_end)
            req.headers = in.substr(line_end + 2, head_end - line_end);
    }

    DocRoute r;
    {
        std::lock_guard<std::mutex> g(lock_);
        requests_.push_back(req);
        const std::string path = req.target.substr(0, req.target.find('?'));
        bool found = false;
        for (const auto& entry : routes_)
            if (entry.first == path) {
                r = entry.second;
                found = true;
            }
        if (!found) {
            r.status = 404;
            r.reason = "Not Found";
            r.content_type = "text/html";
            r.body = "<html><body>Not Found</body></html>";
        }
        if (!r.basic_auth.empty() && req.header("Authorization") != "Basic " + base64(r.basic_auth)) {
            DocRoute denied;
            denied.status = 401;
            denied.reason = "Unauthorized";
            denied.content_type = "text/html";
            denied.extra_headers = "WWW-Authenticate: Basic realm=\"documents\"\r\n";
            denied.body = "<html><body>Unauthorized</body></html>";
            r = denied;
        }
    }

    if (r.silent) {  // until the client or the server gives up
        while (!stopping_ && recv(s, buf, sizeof buf, 0) > 0) {
        }
        std::lock_guard<std::mutex> g(lock_);
        clients_.erase(std::remove(clients_.begin(), clients_.end(), s), clients_.end());
        closesocket(s);
        return;
    }

    const unsigned long long length = r.body.empty() ? r.length : r.body.size();
    std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + r.reason + "\r\n";
    head += "Content-Type: " + r.content_type + "\r\n";
    if (r.chunk_bytes)
        head += "Transfer-Encoding: " + (r.coding.empty() ? "chunked" : r.coding) + "\r\n";
    if (!r.length_text.empty())
        head += "Content-Length: " + r.length_text + "\r\n";
    else if (!r.chunk_bytes && r.announce_length)
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    head += "Cache-Control: no-cache, no-store\r\nPragma: no-cache\r\nConnection: close\r\n";
    head += r.extra_headers;
    head += "\r\n";

    bool ok =
        send_all(s, head.data(), std::min(head.size(), r.head_bytes)) && r.head_bytes >= head.size();
    const unsigned long long to_send = std::min(length, r.cut_after);
    std::vector<char> block(65536);
    size_t piece = r.trickle_bytes ? std::min(r.trickle_bytes, block.size()) : block.size();
    if (r.send_rate) piece = std::min<size_t>(piece, 16384);
    if (r.chunk_bytes) piece = std::min(piece, r.chunk_bytes);
    LARGE_INTEGER frequency{}, began{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&began);
    const auto elapsed = [&] {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - began.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    };
    double next_piece = 0;  // seconds after began when the next piece may leave
    for (unsigned long long sent = 0; ok && sent < to_send && !stopping_;) {
        size_t n = static_cast<size_t>(std::min<unsigned long long>(piece, length - sent));
        if (r.chunk_bytes) {
            // The chunk announces its whole size even when the cut comes inside it.
            char size_line[32];
            std::snprintf(size_line, sizeof size_line, "%zx\r\n", n);
            ok = send_all(s, size_line, std::strlen(size_line));
        }
        n = static_cast<size_t>(std::min<unsigned long long>(n, to_send - sent));
        if (r.body.empty())
            fill_body(sent, block.data(), n);
        else
            std::memcpy(block.data(), r.body.data() + sent, n);
        ok = ok && send_all(s, block.data(), n);
        sent += n;
        if (ok && r.chunk_bytes && sent < to_send) ok = send_all(s, "\r\n", 2);
        if (r.trickle_bytes && r.trickle_pause_ms) Sleep(r.trickle_pause_ms);
        if (r.send_rate) {
            // A link of that speed: a piece leaves when the one before has
            // gone through. A pause of the reader's is not made up later in a
            // burst; only 5 ms of lag are caught up (the sleeps' coarseness).
            next_piece = std::max(next_piece, elapsed() - 0.005) +
                         static_cast<double>(n) / static_cast<double>(r.send_rate);
            for (double left = next_piece - elapsed(); left > 0 && !stopping_;
                 left = next_piece - elapsed())
                Sleep(std::max<DWORD>(1, static_cast<DWORD>(left * 1000)));
        }
    }
    if (ok && r.chunk_bytes && to_send == length)
        send_all(s, length ? "\r\n0\r\n\r\n" : "0\r\n\r\n", length ? 7 : 5);

    // A graceful close: the client sees the end of the data, then the end of
    // the connection (a cut body ends here too).
    shutdown(s, SD_SEND);
    while (recv(s, buf, sizeof buf, 0) > 0) {
    }
    std::lock_guard<std::mutex> g(lock_);
    clients_.erase(std::remove(clients_.begin(), clients_.end(), s), clients_.end());
    closesocket(s);
}

}  // namespace gntest
