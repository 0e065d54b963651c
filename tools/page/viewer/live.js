// The live page of `corvane-urdf serve`: the scene it embeds carries "revision" (and "failure"
// after a failed run); its meshes are fetched from the server by their "url" and kept by their
// content's "tag"; the server's events (/events) bring each new scene, swapped in place of the
// last, and each failure, shown in a banner above the last good robot until a good run clears it.

// Mesh bytes fetched, by tag: a mesh whose content did not change is not fetched again.
var liveBytes = new Map();

function liveMeshBytes(source) {
    return typeof source.tag === 'string' ? liveBytes.get(source.tag) || null : null;
}

function isLiveScene(scene) { return typeof scene.revision === 'number'; }

function fetchLiveMeshes(scene) {
    var meshes = listOf(scene.meshes);
    var wanted = meshes.filter(function(mesh) {
        return mesh && typeof mesh.url === 'string' && typeof mesh.tag === 'string' &&
            !liveBytes.has(mesh.tag);
    });
    return Promise
        .all(wanted.map(function(mesh) {
            return fetch(mesh.url, {cache: 'no-store'})
                .then(function(response) {
                    if (!response.ok) throw new Error('HTTP status ' + response.status);
                    return response.arrayBuffer();
                })
                .then(function(buffer) { liveBytes.set(mesh.tag, new Uint8Array(buffer)); })
                .catch(function(error) {
                    mesh.problem = 'cannot be fetched from the server: ' + messageOf([error]);
                });
        }))
        .then(function() {
            var used = new Set(meshes.map(function(mesh) { return mesh && mesh.tag; }));
            Array.from(liveBytes.keys()).forEach(function(tag) {
                if (!used.has(tag)) liveBytes.delete(tag);
            });
            return scene;
        });
}

// What tests and the latency benchmark read: the revision shown, the failure shown (or null),
// and for each scene swapped in when its event arrived and when its first frame was drawn
// (milliseconds since the epoch).
var live = {revision: null, failure: null, events: 0, swaps: []};

window.corvaneViewer.live = function() {
    return {
        revision: live.revision,
        failure: live.failure,
        events: live.events,
        swaps: live.swaps.slice(),
        banner: bannerText()
    };
};

function epochMs() { return performance.timeOrigin + performance.now(); }

function bannerText() {
    var banner = document.getElementById('corvane-banner');
    return banner && !banner.hidden ? banner.textContent : null;
}

// "error: FILE:LINE: MESSAGE", then one "FILE:LINE: note: ..." line per step, as the command
// line prints them.
function showBanner(failure) {
    var banner = document.getElementById('corvane-banner');
    if (!failure) {
        if (banner) banner.hidden = true;
        return;
    }
    if (!banner) {
        banner = element('pre');
        banner.id = 'corvane-banner';
        banner.setAttribute('role', 'alert');
        var style = banner.style;
        style.position = 'absolute';
        style.left = '10px';
        style.right = '340px';
        style.top = '10px';
        style.margin = '0';
        style.padding = '6px 10px';
        style.whiteSpace = 'pre-wrap';
        style.font = '12px/1.4 ui-monospace, monospace';
        style.color = '#8a1c24';
        style.background = 'rgba(255, 240, 240, 0.95)';
        style.border = '1px solid #b02a37';
        style.borderRadius = '4px';
        (document.getElementById('corvane-view') || document.body).appendChild(banner);
    }
    var place = placeText(failure);
    var lines = ['error: ' + (place ? place + ': ' : '') + textOf(failure.message)];
    listOf(failure.chain).forEach(function(step) {
        lines.push(placeText(step || {}) + ': note: ' + textOf(step && step.note));
    });
    banner.textContent = lines.join('\n');
    banner.hidden = false;
}

function startLive(settleReady) {
    var scene = readScene();
    fetchLiveMeshes(scene)
        .then(function(fetched) {
            var viewer = start(settleReady, fetched);
            live.revision = fetched.revision;
            live.failure = fetched.failure || null;
            showBanner(live.failure);
            if (viewer) listenForRuns(viewer);
        })
        .catch(function(error) {
            caughtErrors.push(messageOf([error]));
            showFailure('This page failed: ' + messageOf([error]));
            settleReady.reject(error);
        });
}

// Events are handled one after another, each once its meshes are fetched.
function listenForRuns(viewer) {
    var events = new EventSource('/events?since=' + encodeURIComponent(String(live.revision)));
    var queue = Promise.resolve();
    function handle(work) {
        queue = queue.then(work).catch(function(
            error) { caughtErrors.push('live update: ' + messageOf([error])); });
    }
    events.addEventListener('scene', function(event) {
        var received = epochMs();
        live.events += 1;
        handle(function() {
            return fetchLiveMeshes(JSON.parse(event.data)).then(function(scene) {
                viewer.swapScene(scene);
                if (viewer.view) viewer.view.drawAndWait();
                live.revision = scene.revision;
                live.failure = scene.failure || null;
                showBanner(live.failure);
                live.swaps.push(
                    {revision: scene.revision, receivedMs: received, drawnMs: epochMs()});
            });
        });
    });
    events.addEventListener('failure', function(event) {
        live.events += 1;
        handle(function() {
            live.failure = JSON.parse(event.data);
            showBanner(live.failure);
        });
    });
}
