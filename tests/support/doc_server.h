// A small HTTP document server on the loopback interface for tests and
// benchmarks: 127.0.0.1, an ephemeral port, one thread per connection and
// "Connection: close" answers. Each path can serve a body of any size (made
// up on the fly from body_byte), slowly or at a set rate, chunked, cut short, with any status, or not at
// all.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gntest {

// How the server answers one path.
struct DocRoute {
    int status = 200;
    std::string reason = "OK";
    std::string content_type = "application/x-quorquery";
    unsigned long long length = 0;        // body bytes made up by body_byte ...
    std::string body;                     // ... unless an explicit body is given
    bool announce_length = true;          // send Content-Length
    unsigned long long cut_after = ~0ull; // close the connection after this many body bytes
    size_t trickle_bytes = 0;             // when set: send the body in pieces of this size
    DWORD trickle_pause_ms = 0;           //   with a pause after each piece
    unsigned long long send_rate = 0;     // when set: the body goes out at this many bytes
                                          //   per second, in 16 KiB pieces (a network's speed)
    std::string extra_headers;            // raw header lines, each ending in "\r\n"
    size_t chunk_bytes = 0;               // when set: "Transfer-Encoding: chunked" in chunks
                                          //   of this size (cut_after counts body bytes)
    std::string coding;                   // with chunk_bytes: the Transfer-Encoding sent
                                          //   instead of "chunked" ("gzip, chunked")
    std::string length_text;              // when set: "Content-Length: <this>", whatever
                                          //   the body and its chunks
    bool silent = false;                  // take the request and never answer it
    size_t head_bytes = ~size_t{0};       // close after this many bytes of the head
    std::string basic_auth;               // when set ("user:password"): a request without
                                          //   these Basic credentials gets 401 and
                                          //   WWW-Authenticate instead
};

// One request as received.
struct DocRequest {
    std::string method;
    std::string target;   // as sent, query included
    std::string headers;  // the raw header lines after the request line
    // The value of a header (case-insensitive name), empty when absent.
    std::string header(const std::string& name) const;
};

class DocServer {
public:
    DocServer();  // listens at once; check running()
    ~DocServer();
    DocServer(const DocServer&) = delete;
    DocServer& operator=(const DocServer&) = delete;

    bool running() const { return listener_ != INVALID_SOCKET; }
    unsigned short port() const { return port_; }
    // "http://127.0.0.1:<port><path>" (path starts with "/").
    std::string url(const std::string& path) const;
    std::wstring wurl(const std::string& path) const;

    // Sets the answer for a path (the query part of a request is ignored).
    // Unknown paths get 404.
    void route(const std::string& path, const DocRoute& r);
    std::vector<DocRequest> requests() const;
    size_t request_count(const std::string& path) const;

    // The made-up body: byte i of every generated document.
    static unsigned char body_byte(unsigned long long i) {
        return static_cast<unsigned char>(i * 131u + (i >> 12) * 7u);
    }
    static void fill_body(unsigned long long offset, char* out, size_t n);
    // True when data is exactly the first data.size() bytes of a generated body.
    static bool body_matches(const std::string& data);

private:
    void accept_loop();
    void serve(SOCKET s);
    bool send_all(SOCKET s, const char* data, size_t n);

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    mutable std::mutex lock_;
    std::vector<std::pair<std::string, DocRoute>> routes_;
    std::vector<DocRequest> requests_;
    std::vector<SOCKET> clients_;
    std::vector<std::thread> workers_;
    bool wsa_ = false;
};

}  // namespace gntest
