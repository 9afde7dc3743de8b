// What the processor and controller pass each other and read from a host:
// the "json" payload of a component message, and state streams read in
// 4096-byte pieces.

#include "json_message.h"
#include "plugin_messages.h"
#include "state_stream.h"

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using tavik::readJsonPayload;
using tavik::readStateStream;
using tavik::sendJsonMessage;
using tavik::STATE_STREAM_PIECE;

// A host stream over a text that answers each read with at most `chunk`
// bytes, counts the reads and can fail the n-th one.
class ScriptedStream : public IBStream
{
public:
	ScriptedStream (std::string t, size_t c, int failAt = -1) : text (std::move (t)), chunk (c), failingRead (failAt) {}

	tresult PLUGIN_API queryInterface (const TUID, void** obj) override
	{
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef () override { return 1; }
	uint32 PLUGIN_API release () override { return 1; }
	tresult PLUGIN_API read (void* buffer, int32 numBytes, int32* numBytesRead) override
	{
		if (reads++ == failingRead)
			return kResultFalse;
		size_t n = std::min<size_t> ({static_cast<size_t> (numBytes), chunk, text.size () - position});
		std::copy (text.begin () + static_cast<long> (position), text.begin () + static_cast<long> (position + n),
		           static_cast<char*> (buffer));
		position += n;
		if (numBytesRead)
			*numBytesRead = static_cast<int32> (n);
		return kResultOk;
	}
	tresult PLUGIN_API write (void*, int32, int32*) override { return kNotImplemented; }
	tresult PLUGIN_API seek (int64, int32, int64*) override { return kNotImplemented; }
	tresult PLUGIN_API tell (int64*) override { return kNotImplemented; }

	int reads = 0;

private:
	std::string text;
	size_t chunk;
	int failingRead;
	size_t position = 0;
};

TEST (StateStream, ReadsWholePiecesUntilAShortOrEmptyRead)
{
	const std::string exact (STATE_STREAM_PIECE, 'a');
	ScriptedStream whole (exact, STATE_STREAM_PIECE);
	std::string text;
	ASSERT_TRUE (readStateStream (&whole, text));
	EXPECT_EQ (text, exact);
	EXPECT_EQ (whole.reads, 2); // a second piece, which returns nothing

	const std::string longer = exact + exact + "tail";
	ScriptedStream three (longer, STATE_STREAM_PIECE);
	ASSERT_TRUE (readStateStream (&three, text));
	EXPECT_EQ (text, longer);
	EXPECT_EQ (three.reads, 3);

	// A host that hands out less than a piece ends the reading there.
	ScriptedStream trickle (longer, 100);
	ASSERT_TRUE (readStateStream (&trickle, text));
	EXPECT_EQ (text, longer.substr (0, 100));

	// A failing read keeps what came before it.
	ScriptedStream failing (longer, STATE_STREAM_PIECE, 1);
	ASSERT_TRUE (readStateStream (&failing, text));
	EXPECT_EQ (text, exact);

	ScriptedStream empty ("", STATE_STREAM_PIECE);
	ASSERT_TRUE (readStateStream (&empty, text));
	EXPECT_TRUE (text.empty ());
}

TEST (StateStream, RefusesANullStreamAndTextPastTheLimit)
{
	std::string text = "left over";
	EXPECT_FALSE (readStateStream (nullptr, text));
	EXPECT_TRUE (text.empty ());

	ScriptedStream huge (std::string (3 * STATE_STREAM_PIECE + 1, 'x'), STATE_STREAM_PIECE);
	EXPECT_FALSE (readStateStream (&huge, text, 2 * STATE_STREAM_PIECE));
	EXPECT_TRUE (text.empty ());
	EXPECT_EQ (huge.reads, 3); // stops at the piece that crosses the limit

	ScriptedStream fits (std::string (2 * STATE_STREAM_PIECE, 'x'), STATE_STREAM_PIECE);
	EXPECT_TRUE (readStateStream (&fits, text, 2 * STATE_STREAM_PIECE));
	EXPECT_EQ (text.size (), 2 * STATE_STREAM_PIECE);
}

TEST (StateStream, WritesTheTextInOneWrite)
{
	IPtr<MemoryStream> stream = owned (new MemoryStream ());
	const std::string document = std::string ("{\"params\":{}}") + '\0' + "x";
	EXPECT_EQ (tavik::writeStateStream (stream, document), kResultOk);
	EXPECT_EQ (std::string (stream->getData (), static_cast<size_t> (stream->getSize ())), document);
	EXPECT_EQ (tavik::writeStateStream (nullptr, document), kInvalidArgument);
}

// A component that keeps the payloads it is sent.
class Receiver : public ComponentBase
{
public:
	tresult PLUGIN_API notify (IMessage* message) override
	{
		ids.push_back (message->getMessageID ());
		std::string payload;
		payloadsRead.push_back (readJsonPayload (message, payload));
		payloads.push_back (payload);
		return kResultOk;
	}
	std::vector<std::string> ids, payloads;
	std::vector<bool> payloadsRead;
};

TEST (JsonMessage, PayloadTravelsAsTheJsonAttribute)
{
	HostApplication host;
	IPtr<ComponentBase> sender = owned (new ComponentBase ());
	IPtr<Receiver> receiver = owned (new Receiver ());
	// No peer yet, and no host to make messages.
	EXPECT_EQ (sendJsonMessage (*sender, tavik::messages::CC_MAP, "{}"), kResultFalse);
	ASSERT_EQ (sender->initialize (&host), kResultOk);
	EXPECT_EQ (sendJsonMessage (*sender, tavik::messages::CC_MAP, "{}"), kResultFalse);
	ASSERT_EQ (sender->connect (receiver), kResultOk);

	const std::string bytes = std::string ("{\"a\":1}") + '\0' + "\xff";
	EXPECT_EQ (sendJsonMessage (*sender, tavik::messages::RUNTIME_DIAGNOSTICS, bytes), kResultOk);
	EXPECT_EQ (sendJsonMessage (*sender, tavik::messages::FEED_DRAIN, ""), kResultOk);
	ASSERT_EQ (receiver->ids.size (), 2u);
	EXPECT_EQ (receiver->ids[0], "tavik.runtimeDiagnostics");
	EXPECT_EQ (receiver->payloads[0], bytes); // no terminator added, none lost
	EXPECT_TRUE (receiver->payloadsRead[1]);
	EXPECT_EQ (receiver->payloads[1], "");

	// A message without the attribute reads as no payload.
	IPtr<IMessage> bare = owned (sender->allocateMessage ());
	ASSERT_TRUE (bare);
	bare->getAttributes ()->setInt ("reset", 1);
	std::string payload = "stale";
	EXPECT_FALSE (readJsonPayload (bare, payload));
	EXPECT_TRUE (payload.empty ());
	EXPECT_FALSE (readJsonPayload (nullptr, payload));
	sender->disconnect (receiver);
	sender->terminate ();
}

} // namespace
