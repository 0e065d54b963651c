// Starts the page once the document is parsed, and closes the function begin.js opens.

// A live page (corvane-urdf serve) fetches its meshes before it starts, and then follows the
// server's events.
function startPage() {
    try {
        var element = document.getElementById('corvane-scene');
        var scene = element ? JSON.parse(element.textContent) : null;
        if (scene && isLiveScene(scene)) {
            startLive(settleReady);
            return;
        }
    } catch (error) {
        // start() reports a scene it cannot read.
    }
    startSafely();
}

if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', startPage);
} else {
    startPage();
}
})();
