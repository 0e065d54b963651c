// What tests and scripts use: the URL's parameters, the benchmark, the report, and
// window.corvaneViewer with its `ready` promise settled once the page has started.

// The layers named in the URL's "show" parameter, and no others.
Viewer.prototype.applyUrlLayers = function(query) {
    var raw = rawParameter(query, 'show');
    if (raw === null) return;
    var shown = this.shown;
    var wanted = safeDecode(raw).split(',').filter(function(layer) { return layer !== ''; });
    wanted.forEach(function(layer) {
        if (!Object.prototype.hasOwnProperty.call(shown, layer)) {
            warnings.push('show: no layer named "' + layer + '"');
        }
    });
    Object.keys(shown).forEach(function(layer) { shown[layer] = wanted.indexOf(layer) >= 0; });
};

// Joint values from the URL's "joints" parameter, applied through setJoint.
Viewer.prototype.applyUrlJoints = function(query) {
    var raw = rawParameter(query, 'joints');
    if (raw === null || raw === '') return;
    var self = this;
    raw.split(',').forEach(function(item) {
        var colon = item.lastIndexOf(':');
        if (colon < 0) {
            warnings.push('joints: "' + safeDecode(item) + '" has no ":value"');
            return;
        }
        var name = safeDecode(item.slice(0, colon));
        var text = safeDecode(item.slice(colon + 1));
        var value = text.trim() === '' ? NaN : Number(text);
        try {
            self.setJoint(name, value);
        } catch (error) {
            warnings.push('joints: ' + error.message);
        }
    });
};

function safeDecode(text) {
    try {
        return decodeURIComponent(text.replace(/\+/g, ' '));
    } catch (error) {
        return text;
    }
}

// The raw (still percent-encoded) value of a query parameter, or null.
function rawParameter(query, name) {
    var pairs = query.replace(/^\?/, '').split('&');
    for (var i = 0; i < pairs.length; ++i) {
        var equals = pairs[i].indexOf('=');
        var key = equals < 0 ? pairs[i] : pairs[i].slice(0, equals);
        if (safeDecode(key) === name) return equals < 0 ? '' : pairs[i].slice(equals + 1);
    }
    return null;
}

function flagSet(query, name) {
    var value = rawParameter(query, name);
    return value !== null && value !== '0' && value !== 'false';
}

// Times 100 changes of the movable joints, each drawn and waited for.
Viewer.prototype.runBenchmark = function() {
    var movable =
        this.model.interactions.filter(function(interaction) { return interaction.movable; });
    var result = {changes: 0, totalMs: 0, perChangeMs: 0, joints: movable.length};
    if (movable.length === 0) return result;
    var start = performance.now();
    var setting = 0;
    for (var i = 0; i < 100; ++i) {
        var interaction = movable[i % movable.length];
        var fraction = ((i * 7) % 10 + 0.5) / 10;
        var value =
            interaction.slider[0] + fraction * (interaction.slider[1] - interaction.slider[0]);
        var before = performance.now();
        this.setJoint(interaction.name, value);
        setting += performance.now() - before;
        if (this.view) this.view.drawAndWait();
    }
    result.totalMs = performance.now() - start;
    // The part spent computing poses and placing bodies; the rest is drawing.
    result.setJointMs = setting;
    result.changes = 100;
    result.perChangeMs = result.totalMs / 100;
    this.resetJoints();
    if (this.view) this.view.drawAndWait();
    return result;
};

Viewer.prototype.report = function() {
    var model = this.model;
    return {
        format: 'corvane-viewer-report',
        version: 1,
        model: model.name,
        ready: true,
        webgl: this.view !== null,
        bodies: model.bodies.map(function(body) {
            return {name: body.name, position: body.pose.position, rotation: body.pose.rotation};
        }),
        joints: model.interactions.filter(function(interaction) { return interaction.movable; })
                    .map(function(interaction) {
                        return {
                            name: interaction.name,
                            kind: interaction.kind,
                            value: interaction.value
                        };
                    }),
        meshes: this.meshCounts(),
        missingMeshes:
            this.meshes
                .map(function(
                    mesh, index) { return {index: index, path: mesh.path, problem: mesh.problem}; })
                .filter(function(mesh) { return mesh.problem !== null; }),
        drawn: this.drawing ? this.drawing.counts : null,
        renderer: this.view ? {
            software: this.view.software,
            calls: this.view.renderer.info.render.calls,
            triangles: this.view.renderer.info.render.triangles
        } :
                              null,
        errors: caughtErrors.slice(),
        warnings: warnings.slice(),
        timings: this.timings
    };
};

function writeReport(report) {
    var pre = document.getElementById('corvane-report');
    if (!pre) {
        pre = element('pre');
        pre.id = 'corvane-report';
        document.body.appendChild(pre);
    }
    pre.textContent = JSON.stringify(report);
}

function showFailure(message) {
    var node = setText('corvane-failure', message);
    if (node) node.hidden = false;
}

// ---- Start: read, decode, draw, then resolve `ready` ----

function start(settleReady, scene) {
    var query = window.location.search || '';
    var bench = flagSet(query, 'bench');
    var wantReport = bench || flagSet(query, 'report');
    var viewer = null;
    try {
        viewer = new Viewer(scene || readScene());
    } catch (error) {
        caughtErrors.push(messageOf([error]));
        showFailure('This page cannot show its robot: ' + messageOf([error]));
        if (wantReport) {
            writeReport({
                format: 'corvane-viewer-report',
                version: 1,
                ready: false,
                errors: caughtErrors.slice(),
                warnings: warnings.slice()
            });
        }
        settleReady.reject(error);
        return;
    }
    exposeApi(viewer);
    viewer.decodeMeshes();
    try {
        viewer.startDrawing(document.getElementById('corvane-view') || document.body);
    } catch (error) {
        caughtErrors.push('cannot draw: ' + messageOf([error]));
        showFailure(
            'This browser cannot draw the robot (' + messageOf([error]) +
            '); the joint controls still work.');
        viewer.drawing = null;
        viewer.view = null;
    }
    viewer.panels.build(viewer.scene);
    viewer.applyUrlJoints(query);
    if (viewer.view) {
        viewer.view.frameAll();
        viewer.view.drawAndWait();
    }
    viewer.timings.firstFrameMs = performance.now();
    viewer.timings.readyMs = performance.now();
    var report = viewer.report();
    if (bench) report.bench = viewer.runBenchmark();
    if (wantReport) {
        report.errors = caughtErrors.slice();
        report.warnings = warnings.slice();
        writeReport(report);
    }
    settleReady.resolve(viewer.api);
    return viewer;
}

function exposeApi(viewer) {
    var api = window.corvaneViewer;
    api.setJoint = function(name, value) { return viewer.setJoint(name, value); };
    api.resetJoint = function(name) { return viewer.resetJoint(name); };
    api.resetJoints = function() { viewer.resetJoints(); };
    api.bodyPose = function(name) { return viewer.bodyPose(name); };
    api.bodies =
        function() { return viewer.model.bodies.map(function(body) { return body.name; }); };
    api.joints = function() { return viewer.joints(); };
    api.meshCounts = function() { return viewer.meshCounts(); };
    api.findings = function() {
        return viewer.findings.map(function(finding) {
            return {
                severity: finding.severity,
                rule: textOf(finding.rule),
                file: textOf(finding.file),
                line: finding.line,
                body: finding.body === undefined ? null : finding.body
            };
        });
    };
    // The bodies drawn in a finding's colour: {name: 'error' | 'warning'}.
    api.tints = function() {
        var tints = {};
        if (!viewer.drawing || !viewer.drawing.tinted) return tints;
        viewer.findingSeverities().forEach(function(severity, index) {
            if (severity) tints[viewer.model.bodies[index].name] = severity;
        });
        return tints;
    };
    api.showFinding = function(position) { viewer.showFinding(viewer.findings[position]); };
    api.showLayer = function(layer, visible) { viewer.showLayer(layer, visible); };
    api.shown = function() { return Object.assign({}, viewer.shown); };
    api.selected = function() {
        return viewer.selected >= 0 ? viewer.model.bodies[viewer.selected].name : null;
    };
    api.camera = function() { return viewer.view ? viewer.view.cameraState() : null; };
    viewer.api = api;
}

var settleReady = {};
window.corvaneViewer = {
    ready: new Promise(function(resolve, reject) {
        settleReady.resolve = resolve;
        settleReady.reject = reject;
    }),
    errors: function() { return caughtErrors.slice(); }
};

function startSafely() {
    try {
        start(settleReady);
    } catch (error) {
        caughtErrors.push(messageOf([error]));
        showFailure('This page failed: ' + messageOf([error]));
        settleReady.reject(error);
    }
}
