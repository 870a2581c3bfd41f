#include "host/store/postgres/CPostgresUri.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include <libpq-fe.h>

namespace Kol {
namespace Host {

namespace {

const std::string::size_type kNone = std::string::npos;
const char* const kMask = "***";
// The keywords whose values are secrets.
const char* const kSecretKeys[] = {"password", "sslpassword"};

// Where a password is written: [from, to).
struct Span {
    std::string::size_type from;
    std::string::size_type to;
};

// The percent-decoded form of a URI part, as libpq reads it.
std::string Decoded(const std::string& text) {
    std::string decoded;
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

bool IsSecretKey(std::string key) {
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(std::begin(kSecretKeys), std::end(kSecretKeys), key) != std::end(kSecretKeys);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::string::size_type at = text.find(from); !from.empty() && at != kNone;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Where the text after "scheme://" starts, kNone for no URI.
std::string::size_type Start(const std::string& uri) {
    const std::string::size_type scheme = uri.find("://");
    return scheme == kNone ? kNone : scheme + 3;
}

// libpq ends the user part at the first '@' that comes before any '/'.
std::string::size_type UserPartEnd(const std::string& uri, std::string::size_type start) {
    const std::string::size_type first = uri.find_first_of("@/", start);
    return first != kNone && uri[first] == '@' ? first : kNone;
}

// True when an '@' stands where libpq reads no end of the user part: before
// the query, or in a parameter's key.
bool IsAmbiguous(const std::string& uri) {
    const std::string::size_type start = Start(uri);
    if (start == kNone) {
        return false;
    }
    const std::string::size_type at = UserPartEnd(uri, start);
    const std::string::size_type rest = at == kNone ? start : at + 1;
    const std::string::size_type query = uri.find('?', rest);
    const std::string::size_type stray = uri.find('@', rest);
    if (stray != kNone && stray < query) {
        return true;
    }
    for (std::string::size_type key = query; key != kNone; key = uri.find('&', key + 1)) {
        const std::string::size_type end = std::min(uri.find('&', key + 1), uri.find('=', key + 1));
        if (uri.substr(key + 1, end == kNone ? kNone : end - key - 1).find('@') != kNone) {
            return true;
        }
    }
    return false;
}

std::vector<Span> PasswordSpans(const std::string& uri) {
    std::vector<Span> spans;
    const std::string::size_type start = Start(uri);
    if (start == kNone) {
        return spans;
    }
    const std::string::size_type at = IsAmbiguous(uri) ? uri.rfind('@') : UserPartEnd(uri, start);
    const std::string::size_type colon = uri.find(':', start);
    if (at != kNone && at > start && colon < at) {
        spans.push_back(Span{colon + 1, at});
    }
    for (std::string::size_type key = uri.find('?', at == kNone ? start : at); key != kNone;
         key = uri.find('&', key + 1)) {
        const std::string::size_type equals = uri.find('=', key + 1);
        const std::string::size_type next = uri.find('&', key + 1);
        if (equals != kNone && equals < next &&
            IsSecretKey(Decoded(uri.substr(key + 1, equals - key - 1)))) {
            spans.push_back(Span{equals + 1, next == kNone ? uri.size() : next});
        }
    }
    return spans;
}

// Every form of the passwords in `uri`: as written, decoded, and as libpq
// parses them.
std::vector<std::string> Secrets(const std::string& uri) {
    std::vector<std::string> secrets;
    for (const Span& span : PasswordSpans(uri)) {
        secrets.push_back(uri.substr(span.from, span.to - span.from));
        secrets.push_back(Decoded(secrets.back()));
    }
    char* error = nullptr;
    if (PQconninfoOption* parsed = PQconninfoParse(uri.c_str(), &error)) {
        for (PQconninfoOption* option = parsed; option->keyword != nullptr; ++option) {
            if (option->val != nullptr && IsSecretKey(option->keyword)) {
                secrets.push_back(option->val);
            }
        }
        PQconninfoFree(parsed);
    }
    PQfreemem(error);
    secrets.erase(std::remove(secrets.begin(), secrets.end(), std::string()), secrets.end());
    std::sort(secrets.begin(), secrets.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return secrets;
}

}  // namespace

bool CPostgresUri::IsUri(const std::string& text) {
    return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

std::string CPostgresUri::Masked(const std::string& uri) {
    std::string masked = uri;
    const std::vector<Span> spans = PasswordSpans(uri);
    for (auto span = spans.rbegin(); span != spans.rend(); ++span) {
        masked.replace(span->from, span->to - span->from, kMask);
    }
    // The password may stand elsewhere too, the user's name being the same.
    for (const std::string& secret : Secrets(uri)) {
        masked = ReplaceAll(masked, secret, kMask);
    }
    return masked;
}

std::string CPostgresUri::OneLine(const std::string& message) {
    std::string line;
    for (std::string::size_type i = 0; i < message.size(); ++i) {
        if (message[i] != '\n' && message[i] != '\r') {
            line += message[i];
            continue;
        }
        while (i + 1 < message.size() && std::isspace(static_cast<unsigned char>(message[i + 1]))) {
            ++i;
        }
        line += ' ';
    }
    return line.substr(0, line.find_last_not_of(" \t") + 1);
}

CPostgresUri::CPostgresUri(const std::string& uri)
    : m_text(uri), m_masked(Masked(uri)), m_secrets(Secrets(uri)) {
    if (IsAmbiguous(uri)) {
        throw std::invalid_argument(
            m_masked +
            " holds an '@' that libpq does not read as the end of user:password (a bare '/' or "
            "'@' in the password): percent-encode them (%2F, %40), or give the password in "
            "PGPASSFILE or PGPASSWORD");
    }
}

std::string CPostgresUri::Tell(const std::string& message) const {
    // The masked URI may hold a password's letters (its scheme, the user's
    // name): it goes in after the secrets are out.
    const std::string placeholder(1, '\x01');
    std::string text = ReplaceAll(message, m_text, placeholder);
    for (const std::string& secret : m_secrets) {
        text = ReplaceAll(text, secret, kMask);
    }
    return OneLine(ReplaceAll(text, placeholder, m_masked));
}

}  // namespace Host
}  // namespace Kol
