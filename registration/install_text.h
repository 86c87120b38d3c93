// The installer's commands to the module (DllInstall's command line): what
// it keeps of a DLL of the same flavor that the package replaced, and when it
// registers that DLL again at removal.
#pragma once

#include <cstddef>

namespace gn {

enum class install_verb { invalid, keep, put_back };

// "keep|KIND|PATH": record the hash of PATH as the package kind's
// "ReplacedHash" (KIND "x86" or "x64", the key of the package kind).
// "putback|HASH|PATH": register PATH again, when it is the file that HASH
// was taken of. Fields point into the command; PATH runs to its end.
struct install_command {
    install_verb verb = install_verb::invalid;
    const wchar_t* field = nullptr;  // KIND or HASH
    size_t field_length = 0;
    const wchar_t* path = nullptr;
};

install_command parse_install_command(const wchar_t* command) noexcept;

// SHA-256 digest as 64 lower-case hexadecimal digits.
void digest_text(const unsigned char (&digest)[32], char (&out)[65]) noexcept;

// Whether a recorded hash text names this digest (case does not matter; an
// empty or malformed text names none).
bool digest_matches(const wchar_t* text, size_t length, const unsigned char (&digest)[32]) noexcept;

}  // namespace gn
