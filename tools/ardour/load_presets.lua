-- Loads Zorv's factory presets the way Ardour's preset menu does (its
-- set_program holds a lock across the controller's setParamNormalized) in
-- a headless Ardour session with the dummy backend, and says what each
-- preset set. A plug-in that calls back into the host from inside that
-- call hangs here, as it froze Ardour's window.
--
--   ardour7-lua tools/ardour/load_presets.lua SESSION_FOLDER
--
-- Zorv.vst3 must be in a folder Ardour scans (~/.vst3) and scanned
-- (ardour-vst3-scanner); tools/ardour/check.sh does both in a home of its own.
-- With LV2_PATH set, the LV2 build found there is loaded the same way.

local folder = assert (arg and arg[1], "usage: ardour7-lua load_presets.lua SESSION_FOLDER")
assert (AudioEngine:set_backend ("None (Dummy)", "", ""), "no dummy backend")
local s = assert (create_session (folder, "zorv", 48000), "cannot create a session in " .. folder)

-- Listing the plug-ins reads the scanner's cache, as Ardour's window does
-- at start.
local listed = false
for info in ARDOUR.LuaAPI.list_plugins ():iter () do
	listed = listed or (info.name == "Zorv" and info.type == ARDOUR.PluginType.VST3)
end
assert (listed, "Ardour does not list Zorv (not installed or not scanned)")

-- Each preset's model and size, as Ardour reads them back (in plain units).
local expected = { ["Great Tam"] = { 0, 1.8 }, ["Table Gong"] = { 5, 0.55 }, ["Metal Beater Clang"] = { 0, 1 } }
local failures = 0
local function check (id, kind, label)
	local zorv = ARDOUR.LuaAPI.new_plugin (s, id, kind, "")
	assert (not zorv:isnil (), "Ardour cannot make a " .. label)
	local bus = s:new_audio_route (2, 2, nil, 1, label, ARDOUR.PresentationInfo.Flag.AudioBus,
	                               ARDOUR.PresentationInfo.max_order):front ()
	assert (bus:add_processor_by_index (zorv, 0, nil, true) == 0, "cannot add " .. label .. " to a bus")
	local plugin = zorv:to_insert ():plugin (0)
	for _, name in ipairs ({ "Great Tam", "Table Gong", "Metal Beater Clang" }) do
		local preset = plugin:preset_by_label (name)
		assert (preset, "Ardour lists no preset " .. name .. " for " .. label)
		io.write (label, ": loading ", name, " ... ")
		io.flush ()
		local loaded = plugin:load_preset (preset)
		local model = ARDOUR.LuaAPI.get_processor_param (zorv, 0, true)
		local size = ARDOUR.LuaAPI.get_processor_param (zorv, 1, true)
		print (loaded and "loaded" or "refused", "Gong", model, "Size", size)
		if not loaded or model ~= expected[name][1] or math.abs (size - expected[name][2]) > 1e-6 then
			failures = failures + 1
		end
	end
end
check ("Zorv", ARDOUR.PluginType.VST3, "Zorv VST3")
if os.getenv ("LV2_PATH") then
	check ("https://tavik.music/plugins/zorv", ARDOUR.PluginType.LV2, "Zorv LV2")
end
close_session ()
if failures > 0 then
	print ("FAILED: " .. failures .. " preset(s) did not load as they should")
	os.exit (1)
end
print ("every preset loaded")
