#include "sha256_stream.h"

#include <openssl/evp.h>

namespace tavik {

Sha256Stream::Sha256Stream () : context (EVP_MD_CTX_new ())
{
	failed = !context || EVP_DigestInit_ex (context, EVP_sha256 (), nullptr) != 1;
}

Sha256Stream::~Sha256Stream () { EVP_MD_CTX_free (context); }

bool Sha256Stream::update (const void* bytes, size_t length)
{
	if (failed)
		return false;
	if (length && EVP_DigestUpdate (context, bytes, length) != 1)
		failed = true;
	return !failed;
}

std::string Sha256Stream::finishHex ()
{
	unsigned char digest[EVP_MAX_MD_SIZE];
	unsigned int digestLength = 0;
	if (failed || EVP_DigestFinal_ex (context, digest, &digestLength) != 1)
	{
		failed = true;
		return std::string ();
	}
	failed = true; // finished: nothing more may be added
	static const char digits[] = "0123456789abcdef";
	std::string hex;
	hex.reserve (2 * digestLength);
	for (unsigned int i = 0; i < digestLength; ++i)
	{
		hex.push_back (digits[digest[i] >> 4]);
		hex.push_back (digits[digest[i] & 15]);
	}
	return hex;
}

} // namespace tavik
