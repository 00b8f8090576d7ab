#include "cli/Intake.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <tuple>

namespace halvern::cli {

namespace {

bool TokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c));
}

bool Token(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), TokenChar);
}

bool Control(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7f;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The line starting at `at` without its end (CRLF, or a lone LF as lenient clients send), and
// where the next one starts; nothing while its end has not come.
std::optional<std::pair<std::string_view, std::size_t>> LineAt(std::string_view bytes,
                                                               std::size_t at) {
    const auto lf = bytes.find('\n', at);
    if (lf == std::string_view::npos)
        return std::nullopt;
    const std::size_t end = lf > at && bytes[lf - 1] == '\r' ? lf - 1 : lf;
    return std::pair(bytes.substr(at, end - at), lf + 1);
}

RequestHead Refused(int status) {
    RequestHead h;
    h.kind = RequestHead::Kind::Refused;
    h.status = status;
    h.close = true;
    return h;
}

RequestHead NotYet(std::string_view bytes) {
    return bytes.size() > kMaxRequestBytes ? Refused(413) : RequestHead{};
}

// The path of an origin-form target ("/metrics?x=1") or of an absolute one
// ("http://host:9464/metrics"); empty when it is neither.
std::string PathOf(std::string_view target) {
    if (target == "*")
        return "*";
    if (const auto scheme = target.find("://");
        target.front() != '/' && scheme != std::string_view::npos) {
        const auto slash = target.find('/', scheme + 3);
        target = slash == std::string_view::npos ? "/" : target.substr(slash);
    }
    if (target.front() != '/')
        return {};
    return std::string(target.substr(0, target.find_first_of("?#")));
}

// The request line: "METHOD TARGET HTTP/1.x". Its status when it is refused, else 0.
int ReadRequestLine(std::string_view line, RequestHead& h) {
    const auto sp1 = line.find(' ');
    const auto sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return 400;  // no version (HTTP/0.9 and the like), or more than three parts
    const auto method = line.substr(0, sp1);
    const auto target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const auto version = line.substr(sp2 + 1);
    if (!Token(method) || target.empty() || std::any_of(target.begin(), target.end(), Control))
        return 400;
    const auto digit = [&](std::size_t i) {
        return std::isdigit(static_cast<unsigned char>(version[i]));
    };
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || !digit(5) || version[6] != '.' ||
        !digit(7))
        return 400;
    if (version[5] == '0')
        return 400;  // HTTP/0.9 has no version in its request line: whoever writes one is no client
    if (version[5] != '1')
        return 505;
    h.method = method;
    h.path = PathOf(target);
    if (h.path.empty())
        return 400;
    h.close = version[7] == '0';  // HTTP/1.0 closes unless it asks to keep the connection
    return 0;
}

}  // namespace

RequestHead ReadRequest(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size() && (bytes[at] == '\r' || bytes[at] == '\n'))
        ++at;  // empty lines before a request are let pass
    // A method is a word: anything else (a TLS greeting, binary) is refused at its first byte.
    for (std::size_t i = at; i < bytes.size() && bytes[i] != ' '; ++i)
        if (!TokenChar(bytes[i]))
            return Refused(400);
    const auto requestLine = LineAt(bytes, at);
    if (!requestLine)
        return NotYet(bytes);
    RequestHead h;
    if (const int refused = ReadRequestLine(requestLine->first, h))
        return Refused(refused);
    std::size_t next = requestLine->second;
    std::optional<std::size_t> body;
    bool close = false, keepAlive = false;
    for (;;) {
        const auto line = LineAt(bytes, next);
        if (!line)
            return NotYet(bytes);
        next = line->second;
        if (line->first.empty())
            break;
        const auto colon = line->first.find(':');
        if (colon == std::string_view::npos || !Token(line->first.substr(0, colon)))
            return Refused(400);  // no name, a space before the colon, or a folded line
        const std::string name = Lower(line->first.substr(0, colon));
        const auto value = Trimmed(line->first.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(), [](char c) { return Control(c) && c != '\t'; }))
            return Refused(400);
        if (name == "content-length") {
            std::size_t n = 0;
            if (value.empty() || value.size() > 9 ||
                !std::all_of(value.begin(), value.end(),
                             [](char c) { return c >= '0' && c <= '9'; }))
                return Refused(400);
            for (const char c : value)
                n = n * 10 + static_cast<std::size_t>(c - '0');
            if (body && *body != n)
                return Refused(400);
            body = n;
        } else if (name == "transfer-encoding") {
            close = true;  // where its body ends is not read: nothing after it is taken
        } else if (name == "connection") {
            const std::string v = Lower(value);
            close = close || v.find("close") != std::string::npos;
            keepAlive = v.find("keep-alive") != std::string::npos;
        }
    }
    const std::size_t length = next + body.value_or(0);
    if (length > kMaxRequestBytes)
        return Refused(413);
    if (bytes.size() < length)
        return {};
    h.kind = RequestHead::Kind::Whole;
    h.close = close || (h.close && !keepAlive);
    h.length = length;
    return h;
}

HttpAnswer Refusal(int status) {
    HttpAnswer a;
    a.status = status;
    a.contentType = "text/plain; charset=utf-8";
    a.body = status == 413 ? "too large: a request is at most " + std::to_string(kMaxRequestBytes) +
                                 " bytes\n"
             : status == 505 ? "HTTP version not supported: the endpoint speaks 1.1\n"
                             : "bad request: not an HTTP request\n";
    return a;
}

std::string AnswerBytes(const HttpAnswer& a, bool close) {
    const char* reason = a.status == 200   ? "OK"
                         : a.status == 400 ? "Bad Request"
                         : a.status == 404 ? "Not Found"
                         : a.status == 405 ? "Method Not Allowed"
                         : a.status == 413 ? "Content Too Large"
                         : a.status == 505 ? "HTTP Version Not Supported"
                                           : "Error";
    std::string out = "HTTP/1.1 " + std::to_string(a.status) + " " + reason + "\r\n";
    out += "Content-Type: " + a.contentType + "\r\n";
    out += "Content-Length: " + std::to_string(a.body.size()) + "\r\n";
    if (a.status == 405)
        out += "Allow: GET, HEAD\r\n";
    out += "Cache-Control: no-store\r\n";
    if (close)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (!a.head)
        out += a.body;
    return out;
}

std::pair<Admission::Id, std::optional<Admission::Id>> Admission::Open(Micros t) {
    std::optional<Id> makeRoom;
    if (open_.size() >= static_cast<std::size_t>(std::max(places_, 1))) {
        // Those that have not got their request in go first, the oldest first.
        const auto order = [](const auto& c) {
            return std::tuple(c.second.state == State::Waiting, c.second.since, c.first);
        };
        const auto oldest =
            std::min_element(open_.begin(), open_.end(),
                             [&](const auto& a, const auto& b) { return order(a) < order(b); });
        makeRoom = oldest->first;
        open_.erase(oldest);
    }
    const Id id = next_++;
    open_[id] = {State::New, t};
    return {id, makeRoom};
}

void Admission::Begun(Id id, Micros t) {
    const auto it = open_.find(id);
    if (it != open_.end() && it->second.state != State::Reading)
        it->second = {State::Reading, t};
}

void Admission::Answered(Id id, Micros t) {
    if (const auto it = open_.find(id); it != open_.end())
        it->second = {State::Waiting, t};
}

std::vector<Admission::Id> Admission::Due(Micros t) {
    std::vector<Id> due;
    for (auto it = open_.begin(); it != open_.end();) {
        const Micros limit = it->second.state == State::Reading ? deadline_ : idle_;
        if (t - it->second.since >= limit) {
            due.push_back(it->first);
            it = open_.erase(it);
        } else {
            ++it;
        }
    }
    return due;
}

}  // namespace halvern::cli
