// A SHA-256 digest taken over bytes that arrive in pieces, so a download can
// be hashed while it streams to disk instead of sitting in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct evp_md_ctx_st;

namespace tavik {

class Sha256Stream
{
public:
	Sha256Stream ();
	~Sha256Stream ();
	Sha256Stream (const Sha256Stream&) = delete;
	Sha256Stream& operator= (const Sha256Stream&) = delete;

	/** False once the digest could not be set up or updated. */
	bool update (const void* bytes, size_t length);
	/** 64 lowercase hexadecimal digits; empty after a failure. Ends the
	 *  stream: later updates fail. */
	std::string finishHex ();

private:
	evp_md_ctx_st* context = nullptr;
	bool failed = false;
};

} // namespace tavik
