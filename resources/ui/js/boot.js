// Announces the page to the plug-in while the document is still loading, so
// the plug-in's hello is on its way while the editor's modules load and
// build. Messages that arrive before the editor is ready to hear them wait
// here, in order, and are handed over by bridge.start().
(function () {
	'use strict';
	var host = window.tavikHost;
	if (!host)
		return;
	var early = [];
	var handler = null;
	host.onMessage(function (message) {
		if (handler)
			handler(message);
		else
			early.push(message);
	});
	window.tavikBoot = {
		attach: function (next) {
			handler = next;
			var waiting = early;
			early = [];
			for (var i = 0; i < waiting.length; ++i)
				next(waiting[i]);
		}
	};
	host.postMessage({ type: 'tavik.ready' });
})();
