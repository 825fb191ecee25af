#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Detached minisign signatures of the prehashed kind ("ED": Ed25519 over the file's BLAKE2b-512), checked
// with libgcrypt. The legacy kind ("Ed": Ed25519 over the whole file) is refused.
namespace fernpad::updater::minisign {

using Hash = std::array<std::uint8_t, 64>;

struct PublicKey {
  std::array<std::uint8_t, 8> id{};
  std::array<std::uint8_t, 32> key{};
};

// The base64 line of a public key (the second line of a ".pub" file, the text `minisign -P` takes).
std::optional<PublicKey> ParsePublicKey(std::string_view base64Line);

struct Signature {
  bool prehashed = false;  // "ED"; false for the legacy "Ed"
  std::array<std::uint8_t, 8> keyId{};
  std::array<std::uint8_t, 64> signature{};
  std::string trustedComment;
  std::array<std::uint8_t, 64> globalSignature{};  // over signature || trustedComment
};

// A ".minisig" file: an untrusted comment line, the signature, the trusted comment line and the global
// signature. nullopt when anything is missing, left over or not what it should be.
std::optional<Signature> ParseSignature(std::string_view fileText);

// The BLAKE2b-512 of a file's bytes; nullopt when it cannot be read.
std::optional<Hash> HashFile(const std::filesystem::path& file);

// Whether the trusted comment names the release: among its words (separated by blanks and tabs) `program`
// is directly followed by `version`, e.g. "FernpadServer 1.2.3.4" or "FernpadServer 1.2.3.4 stable".
bool NamesRelease(std::string_view trustedComment, std::string_view program, std::string_view version);

enum class Verdict {
  Good,
  Malformed,           // not a signature file
  Legacy,              // the "Ed" kind over the whole file
  UnknownKey,          // made with a key that is not trusted
  BadSignature,        // does not match the file
  BadGlobalSignature,  // the trusted comment was changed
  WrongRelease,        // signed for another program or version
};

// Checks a signature file against the file's hash, the trusted keys and the release it must name.
Verdict Verify(const Hash& fileHash, std::string_view signatureFile, const std::vector<PublicKey>& trusted,
               std::string_view program, std::string_view version);

// An English line for the verdict, for logs and the failure box's details.
std::string Describe(Verdict verdict);

}  // namespace fernpad::updater::minisign
