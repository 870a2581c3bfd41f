#pragma once

#include <string>
#include <vector>

namespace Kol {
namespace Host {

// A PostgreSQL connection URI, read where its password is the way libpq
// reads it (PQconninfoParse), so that no form of the password is ever shown:
// not as written (percent-encoded or not), not as libpq decodes it.
//
// Immutable; any thread.
class CPostgresUri {
public:
    // True for "postgresql://..." and "postgres://...".
    static bool IsUri(const std::string& text);
    // `uri` with its password replaced by "***": the user part's and the
    // value of every parameter whose key reads password or sslpassword once
    // percent-decoded, in any case (libpq refuses a key such as "Password"
    // and quotes it, but its value is still someone's password). A URI that
    // the constructor refuses is masked from the user part's ':' to its last
    // '@'. Never throws.
    static std::string Masked(const std::string& uri);
    // A libpq message as one line: each line break, with the indentation
    // after it, becomes one space; no trailing white space.
    static std::string OneLine(const std::string& message);

    // Throws std::invalid_argument with a one-line hint (naming only the
    // masked URI) when libpq would not read the password as written: a bare
    // '/' or '@' in it makes libpq take part of it for the host, port or
    // database name, which then shows in libpq's messages.
    explicit CPostgresUri(const std::string& uri);

    // The URI as given, for libpq and the client tools only.
    const std::string& GetText() const { return m_text; }
    const std::string& GetMasked() const { return m_masked; }
    // `message` (libpq's or the server's) as one line with the URI masked
    // and every occurrence of the password, in each of its forms, replaced
    // by "***".
    std::string Tell(const std::string& message) const;

private:
    const std::string m_text;
    const std::string m_masked;
    std::vector<std::string> m_secrets;  // longest first
};

}  // namespace Host
}  // namespace Kol
