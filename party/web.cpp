// The web server inside the party on libmicrohttpd.
#include "web.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tralune.h"

#include <cerrno>
#include <cstring>

namespace {

// What one request collects while its body comes in.
struct pending {
    webrequest r;
    bool toolarge = false;
};

// A fixed set of headers on every answer: nothing is cached, nothing is guessed from the content, no
// other site may frame the page, and the page may load nothing but its own script and style.
void addheaders(MHD_Response* resp, const webanswer& a)
{
    MHD_add_response_header(resp, "Content-Type", a.type.c_str());
    MHD_add_response_header(resp, "Cache-Control", "no-store");
    MHD_add_response_header(resp, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(resp, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(resp, "X-Frame-Options", "DENY");
    MHD_add_response_header(resp, "Content-Security-Policy",
                            "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                            "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    if (!a.setcookie.empty())
        MHD_add_response_header(resp, "Set-Cookie", a.setcookie.c_str());
}

MHD_Result answer(MHD_Connection* conn, const webanswer& a)
{
    MHD_Response* resp = MHD_create_response_from_buffer(a.body.size(), const_cast<char*>(a.body.data()),
                                                         MHD_RESPMEM_MUST_COPY);
    if (!resp)
        return MHD_NO;
    addheaders(resp, a);
    MHD_Result r = MHD_queue_response(conn, unsigned(a.status), resp);
    MHD_destroy_response(resp);
    return r;
}

MHD_Result takearg(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    auto* r = static_cast<webrequest*>(cls);
    // A handful of arguments is all the interface reads; more are ignored, not stored.
    if (r->query.size() < 8 && key)
        r->query.emplace_back(key, value ? value : "");
    return MHD_YES;
}

std::string header(MHD_Connection* conn, MHD_ValueKind kind, const char* name)
{
    const char* v = MHD_lookup_connection_value(conn, kind, name);
    return v ? v : "";
}

// The server's threads run at a lower priority than the screen's, so that a burst of phones never takes
// the processor from the lyrics on a small machine.
void lowerpriority()
{
    static thread_local bool done = false;
    if (done)
        return;
    done = true;
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 5);
}

MHD_Result onrequest(void* cls, MHD_Connection* conn, const char* url, const char* method, const char*,
                     const char* data, size_t* size, void** state)
{
    auto* server = static_cast<webserver*>(cls);
    lowerpriority();
    auto* p = static_cast<pending*>(*state);
    if (!p) {
        p = new pending;
        *state = p;
        p->r.method = method;
        p->r.path = url;
        p->r.host = header(conn, MHD_HEADER_KIND, "Host");
        p->r.token = header(conn, MHD_HEADER_KIND, "X-Token");
        p->r.cookie = header(conn, MHD_COOKIE_KIND, "tralune_phone");
        MHD_get_connection_values(conn, MHD_GET_ARGUMENT_KIND, takearg, &p->r);
        const MHD_ConnectionInfo* info = MHD_get_connection_info(conn, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        if (info && info->client_addr) {
            char text[INET6_ADDRSTRLEN] = "";
            if (info->client_addr->sa_family == AF_INET)
                inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(info->client_addr)->sin_addr, text, sizeof text);
            else if (info->client_addr->sa_family == AF_INET6)
                inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(info->client_addr)->sin6_addr, text, sizeof text);
            p->r.peer = text;
        }
        // A body announced as too large is refused before any of it is read.
        std::string length = header(conn, MHD_HEADER_KIND, "Content-Length");
        // (The library refuses a malformed length itself; digits are checked here all the same.)
        bool digits = !length.empty() && length.find_first_not_of("0123456789") == std::string::npos;
        if (!length.empty() && (!digits || length.size() > 9 || std::stoul(length) > WEB_MAX_BODY)) {
            p->r.bodytoolarge = true;
            return answer(conn, server->api.handle(p->r, monotonicns()));
        }
        return MHD_YES;
    }
    if (*size) {
        // More than the limit is dropped as it comes; the refusal follows once the body has ended.
        if (p->r.body.size() + *size > WEB_MAX_BODY)
            p->r.bodytoolarge = true;
        else
            p->r.body.append(data, *size);
        *size = 0;
        return MHD_YES;
    }
    return answer(conn, server->api.handle(p->r, monotonicns()));
}

void ondone(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode)
{
    delete static_cast<pending*>(*state);
    *state = nullptr;
}

} // namespace

bool webserver::start(int port, bool loopback, std::string& why)
{
    stop();
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(uint16_t(port));
    where.sin_addr.s_addr = htonl(loopback ? INADDR_LOOPBACK : INADDR_ANY);
    // Two threads share the connections through epoll; each connection's memory, the number of
    // connections (in all and from one address) and an idle connection's life are bounded.
    daemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG, uint16_t(port),
                              nullptr, nullptr, onrequest, this,
                              MHD_OPTION_SOCK_ADDR, &where,
                              MHD_OPTION_THREAD_POOL_SIZE, 2u,
                              MHD_OPTION_CONNECTION_LIMIT, 200u,
                              MHD_OPTION_PER_IP_CONNECTION_LIMIT, 32u,
                              MHD_OPTION_CONNECTION_TIMEOUT, 15u,
                              MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(32 * 1024),
                              MHD_OPTION_NOTIFY_COMPLETED, ondone, nullptr,
                              MHD_OPTION_END);
    if (!daemon) {
        why = "cannot listen on port " + std::to_string(port) + " (in use, or not allowed)";
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    bound = info ? info->port : port;
    return true;
}

void webserver::stop()
{
    if (daemon) {
        MHD_stop_daemon(daemon);
        daemon = nullptr;
    }
    bound = 0;
}

int freeloopbackport()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof where;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size) == 0)
        port = ntohs(where.sin_port);
    close(fd);
    return port;
}
