// The bank control on its own, through a recording host: the editor's bank
// messages, the processor's reply read back, bank presets edited through
// the host, and the bank state written byte for byte.
#include "bank_control.h"
#include "bridge_message.h"
#include "parameter_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingHost : public tavik::BankControlHost
{
public:
	void sendBankJson (const std::string& json) override { sent.push_back (json); }
	void editParam (uint32_t index, double plain) override { edits.emplace_back (index, plain); }
	double readParam (uint32_t) override { return 0; }
	void requestRuntimeBank (const std::string& source, const std::string& path, const std::string& digest,
	                         const std::string& instrument) override
	{
		requests.push_back (source + "|" + path + "|" + digest + "|" + instrument);
	}
	bool applyPadOverrides (const tavik::SamplerPadOverrides& overrides) override
	{
		applied.push_back (overrides);
		return acceptPads;
	}
	bool pickFolder (std::string& path, std::string& error) override
	{
		path = pickedPath;
		error = pickError;
		return !pickedPath.empty ();
	}
	void notePresetSelected (const std::string& id, const std::string& name) override
	{
		selected.push_back (id + "|" + name);
	}

	std::vector<std::string> sent;
	std::vector<std::pair<uint32_t, double>> edits;
	std::vector<std::string> requests;
	std::vector<tavik::SamplerPadOverrides> applied;
	std::vector<std::string> selected;
	bool acceptPads = true;
	std::string pickedPath;
	std::string pickError;
};

class BankControlTest : public testing::Test
{
protected:
	bool send (const std::string& json)
	{
		tavik::BridgeMessage message;
		EXPECT_TRUE (tavik::parseBridgeMessage (json.data (), json.size (), message)) << json;
		return bank.handleMessage (message);
	}

	/** A loaded bank with instrument "inst", two listed kits and two
	 *  presets, the second for another instrument. */
	void loadBank ()
	{
		tavik::StagedBank staged;
		staged.instrumentId = "inst";
		staged.instrumentName = "Big Gong";
		staged.instrumentKind = "instruments";
		staged.positioning = {{"near", "Near", "kits"}, {"far", "Far\tAway", "kits"}};
		staged.presets = {{"p1", "Bright", "inst", {{"ir.size", 1.5}, {"no.such.path", 3}, {"master.level", 0.1}}},
		                  {"p2", "Dark", "other", {{"ir.size", 0.5}}}};
		ASSERT_TRUE (send ("{\"type\":\"tavik.loadBank\",\"source\":\"user-folder\",\"bankPath\":\"/banks/one\"}"));
		bank.adoptRuntimeBankReply (tavik::BankControl::encodeRuntimeBankReply ("ok", "", &staged));
	}

	RecordingHost host;
	tavik::BankControl bank {host};
};

TEST_F (BankControlTest, TheStateOfALoadedBankIsWrittenExactly)
{
	ASSERT_TRUE (send ("{\"type\":\"tavik.setPadOverrides\",\"pads\":{\"kick\":{\"gain\":3}}}"));
	loadBank ();
	ASSERT_EQ (host.requests, std::vector<std::string> {"user-folder|/banks/one||"});
	ASSERT_FALSE (host.sent.empty ());
	// A tab inside a listed name splits it: the rest lands in the list.
	EXPECT_EQ (
		host.sent.back (),
		"{\"type\":\"tavik.bankState\",\"reason\":\"loadBank\",\"stateVersion\":1,\"pads\":{\"kick\":{\"gain\":3}},"
		"\"banks\":[],\"runtime\":{\"source\":\"user-folder\",\"locator\":\"/banks/one\",\"instrument\":{\"id\":"
		"\"inst\",\"name\":\"Big Gong\",\"list\":\"instruments\"},\"positionings\":[{\"id\":\"near\",\"name\":"
		"\"Near\",\"list\":\"kits\"},{\"id\":\"far\",\"name\":\"Far\",\"list\":\"Away\\u0009kits\"}]},\"presets\":{"
		"\"bankScoped\":true,\"items\":[{\"id\":\"p1\",\"name\":\"Bright\",\"instrument\":\"inst\",\"params\":{"
		"\"ir.size\":1.5,\"no.such.path\":3,\"master.level\":0.10000000000000001}},{\"id\":\"p2\",\"name\":"
		"\"Dark\",\"instrument\":\"other\",\"params\":{\"ir.size\":0.5}}]}}");

	// A refusal names the instrument asked for, else the folder, and clears
	// the bank; the pads stay.
	bank.adoptRuntimeBankReply ("bank-hash-mismatch\nasset \"a\" sha256 differs");
	EXPECT_EQ (
		host.sent.back (),
		"{\"type\":\"tavik.bankState\",\"reason\":\"loadBank\",\"stateVersion\":1,\"pads\":{\"kick\":{\"gain\":3}},"
		"\"banks\":[],\"presets\":{\"bankScoped\":false,\"items\":[{\"id\":\"factory-1\",\"name\":\"Tam-Tam "
		"Yarn\"},{\"id\":\"factory-2\",\"name\":\"Tam-Tam Rim Shimmer\"},{\"id\":\"factory-3\",\"name\":"
		"\"Wind Gong Splash\"},{\"id\":\"factory-4\",\"name\":\"Daluo Theater\"},{\"id\":\"factory-5\",\"name\":"
		"\"Xiaoluo Rising\"},{\"id\":\"factory-6\",\"name\":\"Gong Ageng Wadon\"},{\"id\":\"factory-7\",\"name\":"
		"\"Great Tam\"},{\"id\":\"factory-8\",\"name\":\"Table Gong\"},{\"id\":\"factory-9\",\"name\":"
		"\"Symphonic Swell\"},{\"id\":\"factory-10\",\"name\":\"Metal Beater Clang\"}]},\"error\":{\"code\":"
		"\"bank-hash-mismatch\",\"requestedId\":\"/banks/one\"}}");
	ASSERT_TRUE (send ("{\"type\":\"tavik.loadBank\",\"source\":\"user-folder\",\"bankPath\":\"/b\","
	                   "\"instrument\":\"snare\"}"));
	bank.adoptRuntimeBankReply ("bank-instrument-unknown");
	EXPECT_NE (host.sent.back ().find ("\"error\":{\"code\":\"bank-instrument-unknown\",\"requestedId\":\"snare\"}"),
	           std::string::npos);
	// Nothing but an exact "ok" adopts a bank.
	bank.adoptRuntimeBankReply ("");
	bank.adoptRuntimeBankReply ("ok \ninst\tX\tinstruments");
	EXPECT_EQ (host.sent.back ().find ("\"runtime\""), std::string::npos);
}

TEST_F (BankControlTest, AnswersEveryBankMessageOfTheEditor)
{
	// Pads: only a message that carried a map, only when the host took it.
	EXPECT_TRUE (send ("{\"type\":\"tavik.setPadOverrides\"}"));
	EXPECT_TRUE (host.applied.empty ());
	host.acceptPads = false;
	EXPECT_TRUE (send ("{\"type\":\"tavik.setPadOverrides\",\"pads\":{\"kick\":{\"gain\":3}}}"));
	EXPECT_TRUE (host.sent.empty ());
	EXPECT_TRUE (bank.pads ().empty ());
	host.acceptPads = true;
	EXPECT_TRUE (send ("{\"type\":\"tavik.setPadOverrides\",\"pads\":{\"kick\":{\"gain\":3}}}"));
	ASSERT_EQ (host.sent.size (), 1u);
	EXPECT_EQ (host.sent[0].rfind ("{\"type\":\"tavik.bankState\",\"reason\":\"setPadOverrides\"", 0), 0u);

	// Loads that cannot go anywhere.
	host.sent.clear ();
	EXPECT_TRUE (send ("{\"type\":\"tavik.loadBank\",\"source\":\"embedded\",\"id\":\"x\"}"));
	EXPECT_TRUE (send ("{\"type\":\"tavik.loadBank\",\"id\":\"y\"}"));
	EXPECT_TRUE (send ("{\"type\":\"tavik.loadBank\"}")); // nothing to report
	EXPECT_TRUE (send ("{\"type\":\"tavik.loadBank\",\"source\":\"user-folder\"}"));
	EXPECT_TRUE (send ("{\"type\":\"tavik.loadBankPreset\",\"id\":\"nope\"}"));
	EXPECT_FALSE (send ("{\"type\":\"tavik.loadBankPreset\"}"));
	ASSERT_EQ (host.sent.size (), 4u);
	const char* requested[] = {"x", "y", "user-folder", "nope"};
	for (size_t i = 0; i < 4; ++i)
		EXPECT_NE (host.sent[i].find (std::string ("\"error\":{\"code\":\"bank-missing\",\"requestedId\":\"") +
		                              requested[i] + "\"}"),
		           std::string::npos)
			<< host.sent[i];
	EXPECT_TRUE (host.requests.empty ());

	// Hosted banks that fail before any download: the address is reported.
	host.sent.clear ();
	EXPECT_TRUE (send ("{\"type\":\"tavik.loadBank\",\"source\":\"hosted\",\"url\":\"https://example.invalid/b.zip\","
	                   "\"sha256\":\"abc\"}"));
	ASSERT_EQ (host.sent.size (), 1u);
	EXPECT_NE (host.sent[0].find ("\"error\":{\"code\":\"bank-fetch-failed\",\"requestedId\":"
	                              "\"https://example.invalid/b.zip\"}"),
	           std::string::npos);
	EXPECT_FALSE (bank.fetchInProgress ());

	// The folder picker, in its three answers.
	host.sent.clear ();
	host.pickError = "this build has no folder picker";
	EXPECT_TRUE (send ("{\"type\":\"tavik.pickFolder\"}"));
	host.pickError.clear ();
	EXPECT_TRUE (send ("{\"type\":\"tavik.pickFolder\"}"));
	host.pickedPath = "/home/me/My \"Banks\"";
	EXPECT_TRUE (send ("{\"type\":\"tavik.pickFolder\"}"));
	EXPECT_EQ (host.sent,
	           (std::vector<std::string> {
				   "{\"type\":\"tavik.folderPicked\",\"ok\":false,\"error\":\"this build has no folder picker\"}",
				   "{\"type\":\"tavik.folderPicked\",\"ok\":false,\"cancelled\":true}",
				   "{\"type\":\"tavik.folderPicked\",\"ok\":true,\"path\":\"/home/me/My \\\"Banks\\\"\"}"}));

	host.sent.clear ();
	EXPECT_TRUE (send ("{\"type\":\"tavik.getBankState\"}"));
	ASSERT_EQ (host.sent.size (), 1u);
	EXPECT_EQ (host.sent[0].rfind ("{\"type\":\"tavik.bankState\",\"reason\":\"query\",\"stateVersion\":1,\"pads\":"
	                               "{\"kick\":{\"gain\":3}},\"banks\":[],\"presets\":{\"bankScoped\":false",
	                               0),
	           0u);
	EXPECT_FALSE (send ("{\"type\":\"tavik.setParam\",\"path\":\"ir.size\",\"value\":1}"));
}

TEST_F (BankControlTest, BankPresetsEditThroughTheHostAndReloadForAnotherInstrument)
{
	loadBank ();
	host.sent.clear ();
	host.requests.clear ();
	ASSERT_TRUE (send ("{\"type\":\"tavik.loadBankPreset\",\"id\":\"p1\"}"));
	const tavik::tavik_param_desc* size = tavik::tavik_param_find_path ("ir.size");
	const tavik::tavik_param_desc* level = tavik::tavik_param_find_path ("master.level");
	ASSERT_TRUE (size && level);
	// Unknown paths are passed over; the others are edits in preset order.
	EXPECT_EQ (host.edits, (std::vector<std::pair<uint32_t, double>> {{size->id, 1.5}, {level->id, 0.1}}));
	EXPECT_EQ (host.selected, std::vector<std::string> {"p1|Bright"});
	ASSERT_EQ (host.sent.size (), 1u);
	EXPECT_EQ (host.sent[0].rfind ("{\"type\":\"tavik.bankState\",\"reason\":\"loadBank\"", 0), 0u);
	EXPECT_EQ (host.sent[0].find ("\"error\""), std::string::npos);
	EXPECT_TRUE (host.requests.empty ());

	// Another instrument: the bank is asked for again with it, and the state
	// waits for that answer.
	host.sent.clear ();
	host.edits.clear ();
	ASSERT_TRUE (send ("{\"type\":\"tavik.loadBankPreset\",\"id\":\"p2\"}"));
	EXPECT_EQ (host.requests, std::vector<std::string> {"user-folder|/banks/one||other"});
	EXPECT_EQ (host.edits, (std::vector<std::pair<uint32_t, double>> {{size->id, 0.5}}));
	EXPECT_EQ (host.selected.back (), "p2|Dark");
	EXPECT_TRUE (host.sent.empty ());

	// A restored bank reference is what a reload goes back to.
	bank.clearRuntimeFacts ();
	bank.adoptRestoredRef ("user-folder", "/restored", "", "inst", "p1");
	tavik::StagedBank staged;
	staged.instrumentId = "inst";
	// A NUL inside a parameter path is part of the name: no such parameter.
	staged.presets = {{"p3", "Third", "kit2", {{std::string ("ir.size\0x", 9), 2.0}}}};
	bank.adoptRuntimeBankReply (tavik::BankControl::encodeRuntimeBankReply ("ok", "", &staged));
	host.requests.clear ();
	host.edits.clear ();
	ASSERT_TRUE (send ("{\"type\":\"tavik.loadBankPreset\",\"id\":\"p3\"}"));
	EXPECT_EQ (host.requests, std::vector<std::string> {"user-folder|/restored||kit2"});
	EXPECT_TRUE (host.edits.empty ());
}

} // namespace
