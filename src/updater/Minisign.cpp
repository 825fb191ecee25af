#include "updater/Minisign.h"

#include <gcrypt.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace fernpad::updater::minisign {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
// Far more than any comment minisign writes; keeps the signed message well below the size at which
// libgcrypt's EdDSA gives up.
constexpr std::size_t kMaxTrustedComment = 8192;

void InitGcrypt() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) return;  // someone else set it up
    if (!gcry_check_version(GCRYPT_VERSION)) throw std::runtime_error("libgcrypt is older than the build's");
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);  // only public keys are handled here
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Padded standard base64 that decodes to exactly `size` bytes.
template <std::size_t size>
std::optional<std::array<std::uint8_t, size>> Base64(std::string_view text) {
  constexpr std::size_t kChars = (size + 2) / 3 * 4;
  if (text.size() != kChars) return std::nullopt;
  std::array<std::uint8_t, size> out{};
  std::size_t written = 0;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t group = 0;
    int padding = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      int v = Base64Value(c);
      if (c == '=' && i + 4 == text.size() && j >= 2) {
        v = 0;
        ++padding;
      } else if (v < 0 || padding > 0) {
        return std::nullopt;
      }
      group = group << 6 | static_cast<std::uint32_t>(v);
    }
    for (int k = 0; k < 3 - padding; ++k) {
      if (written == size) return std::nullopt;
      out[written++] = static_cast<std::uint8_t>(group >> (16 - 8 * k));
    }
  }
  if (written != size) return std::nullopt;
  return out;
}

// Splits off the next line ("\n", with or without "\r" before it).
std::string_view NextLine(std::string_view& text) {
  const auto end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool Ed25519Verify(const std::array<std::uint8_t, 32>& key, const std::array<std::uint8_t, 64>& signature,
                   const void* message, std::size_t size) {
  InitGcrypt();
  gcry_sexp_t keyExp = nullptr, sigExp = nullptr, dataExp = nullptr;
  bool good = false;
  if (!gcry_sexp_build(&keyExp, nullptr, "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                       static_cast<int>(key.size()), key.data()) &&
      !gcry_sexp_build(&sigExp, nullptr, "(sig-val (eddsa (r %b) (s %b)))", 32, signature.data(), 32,
                       signature.data() + 32) &&
      !gcry_sexp_build(&dataExp, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                       static_cast<int>(size), message))
    good = gcry_pk_verify(sigExp, dataExp, keyExp) == 0;
  gcry_sexp_release(keyExp);
  gcry_sexp_release(sigExp);
  gcry_sexp_release(dataExp);
  return good;
}

}  // namespace

std::optional<PublicKey> ParsePublicKey(std::string_view base64Line) {
  const auto bytes = Base64<42>(base64Line);
  if (!bytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') return std::nullopt;
  PublicKey key;
  std::copy_n(bytes->begin() + 2, 8, key.id.begin());
  std::copy_n(bytes->begin() + 10, 32, key.key.begin());
  return key;
}

std::optional<Signature> ParseSignature(std::string_view fileText) {
  const std::string_view untrusted = NextLine(fileText);
  const std::string_view signatureLine = NextLine(fileText);
  const std::string_view trusted = NextLine(fileText);
  const std::string_view globalLine = NextLine(fileText);
  while (!fileText.empty())
    if (!NextLine(fileText).empty()) return std::nullopt;
  if (!untrusted.starts_with(kUntrustedPrefix) || !trusted.starts_with(kTrustedPrefix)) return std::nullopt;

  const auto signature = Base64<74>(signatureLine);
  const auto global = Base64<64>(globalLine);
  if (!signature || !global || (*signature)[0] != 'E') return std::nullopt;
  Signature sig;
  if ((*signature)[1] == 'D')
    sig.prehashed = true;
  else if ((*signature)[1] != 'd')
    return std::nullopt;
  std::copy_n(signature->begin() + 2, 8, sig.keyId.begin());
  std::copy_n(signature->begin() + 10, 64, sig.signature.begin());
  sig.trustedComment = trusted.substr(kTrustedPrefix.size());
  if (sig.trustedComment.size() > kMaxTrustedComment) return std::nullopt;
  sig.globalSignature = *global;
  return sig;
}

std::optional<Hash> HashFile(const std::filesystem::path& file) {
  InitGcrypt();
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  gcry_md_hd_t md = nullptr;
  if (gcry_md_open(&md, GCRY_MD_BLAKE2B_512, 0) != 0) return std::nullopt;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    gcry_md_write(md, buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  std::optional<Hash> hash;
  if (in.eof()) {
    hash.emplace();
    std::memcpy(hash->data(), gcry_md_read(md, GCRY_MD_BLAKE2B_512), hash->size());
  }
  gcry_md_close(md);
  return hash;
}

bool NamesRelease(std::string_view trustedComment, std::string_view program, std::string_view version) {
  constexpr std::string_view kBlanks = " \t";
  std::vector<std::string_view> words;
  while (true) {
    const auto start = trustedComment.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) break;
    trustedComment.remove_prefix(start);
    const auto end = trustedComment.find_first_of(kBlanks);
    words.push_back(trustedComment.substr(0, end));
    if (end == std::string_view::npos) break;
    trustedComment.remove_prefix(end);
  }
  for (std::size_t i = 0; i + 1 < words.size(); ++i)
    if (words[i] == program && words[i + 1] == version) return true;
  return false;
}

Verdict Verify(const Hash& fileHash, std::string_view signatureFile, const std::vector<PublicKey>& trusted,
               std::string_view program, std::string_view version) {
  const auto sig = ParseSignature(signatureFile);
  if (!sig) return Verdict::Malformed;
  if (!sig->prehashed) return Verdict::Legacy;
  const auto key =
      std::find_if(trusted.begin(), trusted.end(), [&](const PublicKey& k) { return k.id == sig->keyId; });
  if (key == trusted.end()) return Verdict::UnknownKey;
  if (!Ed25519Verify(key->key, sig->signature, fileHash.data(), fileHash.size()))
    return Verdict::BadSignature;
  std::string global(sig->signature.begin(), sig->signature.end());
  global += sig->trustedComment;
  if (!Ed25519Verify(key->key, sig->globalSignature, global.data(), global.size()))
    return Verdict::BadGlobalSignature;
  if (!NamesRelease(sig->trustedComment, program, version)) return Verdict::WrongRelease;
  return Verdict::Good;
}

std::string Describe(Verdict verdict) {
  switch (verdict) {
    case Verdict::Good:
      return "good signature";
    case Verdict::Malformed:
      return "the signature file is malformed";
    case Verdict::Legacy:
      return "the signature is of the legacy kind, which is not accepted";
    case Verdict::UnknownKey:
      return "the signature was made with a key this build does not trust";
    case Verdict::BadSignature:
      return "the signature does not match the downloaded file";
    case Verdict::BadGlobalSignature:
      return "the signature's trusted comment was altered";
    case Verdict::WrongRelease:
      return "the signature is not for this program and version";
  }
  return "unknown verdict";
}

}  // namespace fernpad::updater::minisign
