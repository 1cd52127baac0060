#include "io/sha256.h"

#include <openssl/evp.h>

#include <new>

namespace rowsmith {

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256() = default;

void Sha256::Add(const char* data, std::size_t size) {
    EVP_DigestUpdate(state_->context, data, size);
}

std::string Sha256::Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(state_->context, digest, &size);
    EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0xF];
    }
    return hex;
}

}  // namespace rowsmith
