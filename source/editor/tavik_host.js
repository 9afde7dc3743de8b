// Injected at document start into the editor page's main frame: the page's
// only way to talk to the plug-in. postMessage sends one JSON text to the
// native "tavik" handler; the plug-in calls _deliver with each message.
(function () {
	if (window.tavikHost)
		return;
	var handlers = [];
	window.tavikHost = {
		postMessage: function (message) {
			window.webkit.messageHandlers.tavik.postMessage(JSON.stringify(message));
		},
		onMessage: function (handler) {
			handlers.push(handler);
		},
		_deliver: function (message) {
			for (var i = 0; i < handlers.length; ++i) {
				try {
					handlers[i](message);
				} catch (error) {
					console.error(error);
				}
			}
		}
	};
})();
