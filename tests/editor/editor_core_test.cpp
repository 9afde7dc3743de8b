// The editor's file rules, its socket framing and the control lines the
// plug-in and the helper exchange.

#include "editor_protocol.h"
#include "line_channel.h"
#include "ui_resource.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace tavik;

namespace {

TEST (UiRequests, ServeFilesBelowTheRootOnly)
{
	std::string file;
	EXPECT_TRUE (resolveUiRequest ("/opt/Zorv.vst3/Contents/Resources/ui/", "/", file));
	EXPECT_EQ (file, "/opt/Zorv.vst3/Contents/Resources/ui/index.html");
	EXPECT_TRUE (resolveUiRequest ("/b/ui", "", file));
	EXPECT_EQ (file, "/b/ui/index.html");
	EXPECT_TRUE (resolveUiRequest ("/b/ui", "/js/./app.mjs", file));
	EXPECT_EQ (file, "/b/ui/js/app.mjs");
	EXPECT_TRUE (resolveUiRequest ("/b/./x/../ui", "/js/../styles.css", file));
	EXPECT_EQ (file, "/b/ui/styles.css");

	// Climbing out, or into a sibling whose name begins with the root's.
	EXPECT_FALSE (resolveUiRequest ("/b/ui", "/../secret.txt", file));
	EXPECT_TRUE (file.empty ());
	EXPECT_FALSE (resolveUiRequest ("/b/ui", "/../ui2/page.html", file));
	EXPECT_FALSE (resolveUiRequest ("/b/ui", "/js/../../ui-old/index.html", file));
	EXPECT_FALSE (resolveUiRequest ("/b/ui", "/..", file));
	EXPECT_FALSE (resolveUiRequest ("/b/ui", "/.", file));
	EXPECT_FALSE (resolveUiRequest ("/b/ui", std::string ("/index.html\0.png", 16), file));
	EXPECT_FALSE (resolveUiRequest ("", "/index.html", file));
}

TEST (UiRequests, StandardizePathsTextually)
{
	EXPECT_EQ (standardizePath ("/a//b/./c/"), "/a/b/c");
	EXPECT_EQ (standardizePath ("/a/b/../../.."), "/");
	EXPECT_EQ (standardizePath ("/"), "/");
	EXPECT_EQ (standardizePath ("a/../../b"), "../b");
	EXPECT_EQ (standardizePath (""), ".");
}

TEST (UiRequests, MimeTypesFollowTheLowerCasedExtension)
{
	EXPECT_STREQ (uiMimeType ("/ui/index.html"), "text/html");
	EXPECT_STREQ (uiMimeType ("/ui/old.HTM"), "text/html");
	EXPECT_STREQ (uiMimeType ("/ui/js/app.MJS"), "text/javascript");
	EXPECT_STREQ (uiMimeType ("/ui/js/app.js"), "text/javascript");
	EXPECT_STREQ (uiMimeType ("/ui/manifest.json"), "application/json");
	EXPECT_STREQ (uiMimeType ("/ui/app.js.map"), "application/json");
	EXPECT_STREQ (uiMimeType ("/ui/styles.css"), "text/css");
	EXPECT_STREQ (uiMimeType ("/ui/gong.svg"), "image/svg+xml");
	EXPECT_STREQ (uiMimeType ("/ui/a.jpeg"), "image/jpeg");
	EXPECT_STREQ (uiMimeType ("/ui/f.woff2"), "font/woff2");
	EXPECT_STREQ (uiMimeType ("/ui/k.wasm"), "application/wasm");
	EXPECT_STREQ (uiMimeType ("/ui/face.otf"), "application/octet-stream");
	EXPECT_STREQ (uiMimeType ("/ui/LICENSE"), "application/octet-stream");
	EXPECT_STREQ (uiMimeType ("/ui.d/noext"), "application/octet-stream");
}

TEST (UiRequests, EachBundleHasItsOwnStableOrigin)
{
	const std::string first = uiStartUrl ("/home/a/.vst3/Zorv.vst3/Contents/Resources/ui");
	EXPECT_EQ (first, uiStartUrl ("/home/a/.vst3/Zorv.vst3/Contents/Resources/ui"));
	EXPECT_NE (first, uiStartUrl ("/usr/lib/vst3/Zorv.vst3/Contents/Resources/ui"));
	EXPECT_EQ (first.rfind ("tavik-ui://bundle-", 0), 0u);
	EXPECT_EQ (first.size (), std::string ("tavik-ui://bundle-0123456789abcdef/index.html").size ());
	// The empty text hashes to the start value itself.
	EXPECT_EQ (uiStartUrl (""), "tavik-ui://bundle-14650fb0739d0383/index.html");
}

TEST (EditorControlLines, AreToldApartFromPageMessages)
{
	EXPECT_EQ (parseEditorControl ("{\"editor\":\"started\"}").kind, EditorControl::Kind::Started);
	EXPECT_EQ (parseEditorControl (editorStartedLine (0x2a00003)).window, 0x2a00003ul);
	const EditorControl error = parseEditorControl (editorErrorLine ("no \"display\""));
	EXPECT_EQ (error.kind, EditorControl::Kind::Error);
	EXPECT_EQ (error.reason, "no \"display\"");
	const EditorControl size = parseEditorControl (editorSizeLine (1400, 1000));
	EXPECT_EQ (size.kind, EditorControl::Kind::Size);
	EXPECT_EQ (size.width, 1400);
	EXPECT_EQ (size.height, 1000);
	EXPECT_EQ (parseEditorControl ("{\"editor\":\"size\",\"width\":-5,\"height\":1e300}").width, 0);
	EXPECT_EQ (parseEditorControl ("{\"editor\":\"size\",\"width\":-5,\"height\":1e300}").height, 100000);
	EXPECT_EQ (parseEditorControl ("{\"editor\":\"later\"}").kind, EditorControl::Kind::Unknown);
	const EditorControl embed = parseEditorControl (editorEmbedLine (0x4000e1, 800, 600));
	EXPECT_EQ (embed.kind, EditorControl::Kind::Embed);
	EXPECT_EQ (embed.parent, 0x4000e1ul);
	EXPECT_EQ (embed.width, 800);
	for (const char* parent : {"-1", "0", "1.5", "1e20", "\"7\""})
		EXPECT_EQ (parseEditorControl (std::string ("{\"editor\":\"embed\",\"parent\":") + parent + "}").parent, 0ul)
			<< parent;
	const EditorControl park = parseEditorControl (editorParkLine (32.5));
	EXPECT_EQ (park.kind, EditorControl::Kind::Park);
	EXPECT_EQ (park.seconds, 32.5);
	for (const char* keep : {"-1", "0", "\"30\"", "null"})
		EXPECT_EQ (parseEditorControl (std::string ("{\"editor\":\"park\",\"keep\":") + keep + "}").seconds, 0) << keep;
	EXPECT_EQ (parseEditorControl (editorParkedLine ()).kind, EditorControl::Kind::Parked);

	// Page messages, even ones that mention the word.
	EXPECT_EQ (parseEditorControl ("{\"type\":\"tavik.ready\"}").kind, EditorControl::Kind::PageMessage);
	EXPECT_EQ (parseEditorControl ("{\"type\":\"x\",\"note\":\"\\\"editor\\\"\"}").kind,
	           EditorControl::Kind::PageMessage);
	EXPECT_EQ (parseEditorControl ("{\"editor\":7}").kind, EditorControl::Kind::PageMessage);
	EXPECT_EQ (parseEditorControl ("[\"editor\"]").kind, EditorControl::Kind::PageMessage);
	EXPECT_EQ (parseEditorControl ("{\"editor\":\"started\"").kind, EditorControl::Kind::PageMessage);
}

TEST (EditorControlLines, OnlyOneJsonValueIsEvaluated)
{
	EXPECT_TRUE (isOneJsonValue ("{\"type\":\"tavik.hello\",\"params\":[1,2,3]}"));
	EXPECT_TRUE (isOneJsonValue (" 42 "));
	EXPECT_FALSE (isOneJsonValue ("{\"a\":1}{\"b\":2}"));
	EXPECT_FALSE (isOneJsonValue ("{\"a\":1});alert(1);({"));
	EXPECT_FALSE (isOneJsonValue ("{\"a\":1"));
	EXPECT_FALSE (isOneJsonValue (""));
	EXPECT_FALSE (isOneJsonValue (std::string (100000, '[') + std::string (100000, ']')));
}

class LineChannelPair : public ::testing::Test
{
protected:
	void SetUp () override
	{
		int pair[2];
		ASSERT_EQ (::socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
		ours = std::make_unique<LineChannel> (pair[0]);
		peer = pair[1];
	}
	void TearDown () override
	{
		if (peer >= 0)
			::close (peer);
	}

	void peerWrites (const std::string& bytes)
	{
		ASSERT_EQ (::write (peer, bytes.data (), bytes.size ()), static_cast<ssize_t> (bytes.size ()));
	}

	std::string peerReads ()
	{
		char buffer[65536];
		const ssize_t got = ::recv (peer, buffer, sizeof (buffer), MSG_DONTWAIT);
		return got > 0 ? std::string (buffer, static_cast<size_t> (got)) : std::string ();
	}

	std::vector<std::string> receive ()
	{
		std::vector<std::string> lines;
		ours->receive ([&] (const std::string& line) { lines.push_back (line); });
		return lines;
	}

	std::unique_ptr<LineChannel> ours;
	int peer = -1;
};

TEST_F (LineChannelPair, FramesTextsAsLines)
{
	EXPECT_TRUE (ours->send ("{\"a\":\n1}"));
	EXPECT_TRUE (ours->send ("second"));
	EXPECT_EQ (peerReads (), "{\"a\": 1}\nsecond\n");

	peerWrites ("one\ntw");
	EXPECT_EQ (receive (), (std::vector<std::string> {"one"}));
	peerWrites ("o\r\n\nthree\n");
	EXPECT_EQ (receive (), (std::vector<std::string> {"two\r", "", "three"}));
	EXPECT_FALSE (ours->ended ());

	::close (peer);
	peer = -1;
	EXPECT_TRUE (receive ().empty ());
	EXPECT_TRUE (ours->ended ());
	EXPECT_FALSE (ours->send ("too late"));
}

TEST_F (LineChannelPair, DropsAnOversizedLineWholeAndGoesOn)
{
	// Small pieces, read as they come, so the socket never fills.
	const std::string chunk (64 * 1024, 'x');
	for (size_t sent = 0; sent <= LineChannel::MAX_LINE_BYTES; sent += chunk.size ())
	{
		peerWrites (chunk);
		EXPECT_TRUE (receive ().empty ());
	}
	peerWrites ("tail\nnext\n");
	EXPECT_EQ (receive (), (std::vector<std::string> {"next"}));
	EXPECT_EQ (ours->droppedLines (), 1u);
}

TEST_F (LineChannelPair, QueuesWhatThePeerIsNotReadingYet)
{
	// More than a socket buffer holds: the rest waits in the queue.
	const std::string text (512 * 1024, 'y');
	for (int i = 0; i < 8; ++i)
		EXPECT_TRUE (ours->send (text));
	EXPECT_TRUE (ours->pending ());
	size_t received = 0;
	while (received < 8 * (text.size () + 1))
	{
		const std::string got = peerReads ();
		received += got.size ();
		ours->flush ();
		if (got.empty () && !ours->pending ())
			break;
	}
	EXPECT_EQ (received, 8 * (text.size () + 1));
	EXPECT_FALSE (ours->pending ());
}

TEST_F (LineChannelPair, DroppingWhatIsQueuedKeepsEveryLineWhole)
{
	// A socket buffer's worth and more: the peer is in the middle of some
	// text when the rest is dropped (a page that goes away).
	const std::string text (300 * 1024, 'z');
	for (int i = 0; i < 4; ++i)
		EXPECT_TRUE (ours->send (text + std::to_string (i)));
	ASSERT_TRUE (ours->pending ());
	std::string got = peerReads ();
	ASSERT_FALSE (got.empty ());
	ours->dropPending ();
	EXPECT_TRUE (ours->send ("{\"editor\":\"park\"}"));
	for (bool more = true; more;)
	{
		ours->flush ();
		const std::string piece = peerReads ();
		got += piece;
		more = !piece.empty () || ours->pending ();
	}
	// Whole texts, then the last one: nothing cut short, nothing after a cut.
	std::vector<std::string> lines;
	for (size_t from = 0, end; (end = got.find ('\n', from)) != std::string::npos; from = end + 1)
		lines.push_back (got.substr (from, end - from));
	ASSERT_FALSE (lines.empty ());
	EXPECT_EQ (lines.back (), "{\"editor\":\"park\"}");
	EXPECT_LT (lines.size (), 5u) << "nothing was dropped";
	for (size_t i = 0; i + 1 < lines.size (); ++i)
		EXPECT_EQ (lines[i], text + std::to_string (i));
	EXPECT_EQ (got.back (), '\n');
}

TEST_F (LineChannelPair, APeerThatLeftRaisesNoSignal)
{
	::close (peer);
	peer = -1;
	// Without MSG_NOSIGNAL this would end the test program with SIGPIPE.
	ours->send ("anyone?");
	ours->send ("anyone at all?");
	EXPECT_TRUE (ours->ended ());
}

} // namespace
