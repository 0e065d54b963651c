// The viewer: model, meshes, drawing, view and panels together, and what they do on a change.

function Viewer(scene) {
    this.scene = scene;
    this.model = new Model(scene);
    this.findings = findingsOf(scene, this.model);
    this.meshes = [];
    this.drawing = null;
    this.view = null;
    this.selected = -1;
    this.shown = {
        visual: true,
        contact: false,
        frames: false,
        centres: false,
        inertia: false,
        names: false,
        findings: true
    };
    this.panels = new Panels(this);
    this.timings = {};
}

// The scene's findings, each with the position of its body in the model (-1 for none).
function findingsOf(scene, model) {
    return listOf(scene.findings).map(function(finding) {
        var copy = Object.assign({}, finding || {});
        copy.severity = textOf(copy.severity);
        var index = copy.body === null || copy.body === undefined ?
            undefined :
            model.bodyIndex.get(textOf(copy.body));
        copy.bodyIndex = index === undefined ? -1 : index;
        return copy;
    });
}

// The worst severity among each body's findings: 'error', 'warning', or none.
Viewer.prototype.findingSeverities = function() {
    var worst = [];
    this.findings.forEach(function(finding) {
        var index = finding.bodyIndex;
        if (index < 0) return;
        if (finding.severity === 'error' ||
            (finding.severity === 'warning' && worst[index] !== 'error')) {
            worst[index] = finding.severity;
        }
    });
    return worst;
};

Viewer.prototype.showFinding = function(finding) {
    if (finding.bodyIndex < 0) return;
    this.select(finding.bodyIndex);
    if (this.view) this.view.frameBody(finding.bodyIndex);
};

// The drawing of the present model, with the layers and tints as toggled.
Viewer.prototype.makeDrawing = function(materials) {
    this.drawing = new Drawing(this.model, this.meshes, materials);
    this.applyShown();
};

Viewer.prototype.applyShown = function() {
    var self = this;
    this.drawing.layers.forEach(function(
        layer) { self.drawing.showLayer(layer, self.shown[layer]); });
    if (this.shown.findings) this.drawing.tintFindings(this.findingSeverities(), true);
};

Viewer.prototype.decodeMeshes = function() {
    var start = performance.now();
    this.meshes = listOf(this.scene.meshes).map(decodeMesh);
    this.timings.decodeMs = performance.now() - start;
};

Viewer.prototype.startDrawing = function(container) {
    if (typeof THREE === 'undefined') throw new Error('three.js is missing from the page');
    this.drawing = new Drawing(this.model, this.meshes, makeMaterials());
    // A robot described only by its contact geometry shows that instead.
    if (!this.drawing.hasVisual) this.shown.contact = true;
    this.applyUrlLayers(window.location.search || '');
    this.applyShown();
    this.view = new View(container, this.drawing);
    this.listenForClicks(this.view.renderer.domElement);
};

Viewer.prototype.listenForClicks = function(canvas) {
    var self = this;
    var down = null;
    canvas.addEventListener('pointerdown', function(event) {
        down = [event.clientX, event.clientY];
    });
    canvas.addEventListener('pointerup', function(event) {
        if (!down || Math.abs(event.clientX - down[0]) + Math.abs(event.clientY - down[1]) > 4) {
            return;
        }
        var bounds = canvas.getBoundingClientRect();
        var x = (event.clientX - bounds.left) / bounds.width * 2 - 1;
        var y = -((event.clientY - bounds.top) / bounds.height * 2 - 1);
        self.select(self.drawing.bodyAt(self.view.camera, x, y));
    });
};

Viewer.prototype.select = function(index) {
    this.selected = index;
    if (this.view) this.view.select(index);
    this.panels.showBody(index);
};

Viewer.prototype.showLayer = function(layer, visible) {
    this.shown[layer] = visible;
    if (!this.drawing) return;
    if (layer === 'findings') {
        this.drawing.tintFindings(this.findingSeverities(), visible);
    } else {
        this.drawing.showLayer(layer, visible);
    }
    this.view.requestFrame();
};

// Puts a new scene of the same robot in place of the present one (a live page after a save):
// the camera stays, the toggles stay, each joint keeps its value by name (held in its new range)
// and the selected body stays selected by name.
Viewer.prototype.swapScene = function(scene) {
    var values = new Map();
    this.model.interactions.forEach(function(interaction) {
        if (interaction.movable) values.set(interaction.name, interaction.value);
    });
    var selected = this.selected >= 0 ? this.model.bodies[this.selected].name : null;
    if (this.view) this.view.select(-1);
    this.scene = scene;
    this.model = new Model(scene);
    this.findings = findingsOf(scene, this.model);
    this.decodeMeshes();
    if (this.drawing) {
        var old = this.drawing;
        this.view.scene.remove(old.root);
        this.makeDrawing(old.materials);
        old.dispose();
        this.view.drawing = this.drawing;
        this.view.scene.add(this.drawing.root);
    }
    this.panels.build(scene);
    var self = this;
    this.model.interactions.forEach(function(interaction) {
        if (!interaction.movable || !values.has(interaction.name)) return;
        var range = interaction.source.range;
        var span = Array.isArray(range) && range.length === 2 ?
            [Math.min(range[0], range[1]), Math.max(range[0], range[1])] :
            interaction.slider;
        var value = Math.min(Math.max(values.get(interaction.name), span[0]), span[1]);
        if (value !== interaction.value) self.setJoint(interaction.name, value);
    });
    var index = selected === null ? undefined : this.model.bodyIndex.get(selected);
    this.select(index === undefined ? -1 : index);
};

Viewer.prototype.setJoint = function(name, value) {
    var interaction = this.model.interactionNamed(name);
    if (!interaction) throw new Error('no interaction named "' + String(name) + '"');
    if (!interaction.movable) {
        throw new Error(
            'interaction "' + interaction.name + '" is a ' + interaction.kind +
            ' and has no value');
    }
    if (typeof value !== 'number' || !isFinite(value)) {
        throw new Error('the value of "' + interaction.name + '" must be a finite number');
    }
    var moved = this.model.setValue(interaction, value);
    if (this.drawing) {
        this.drawing.placeBodies(moved);
        this.view.requestFrame();
    }
    this.panels.showValue(interaction);
    if (this.selected >= 0 && moved.indexOf(this.selected) >= 0) {
        this.panels.showBody(this.selected);
    }
    return value;
};

Viewer.prototype.resetJoint = function(name) {
    var interaction = this.model.interactionNamed(name);
    if (!interaction) throw new Error('no interaction named "' + String(name) + '"');
    return this.setJoint(interaction.name, interaction.initial);
};

Viewer.prototype.resetJoints = function() {
    var self = this;
    this.model.interactions.forEach(function(interaction) {
        if (interaction.movable && interaction.value !== interaction.initial) {
            self.setJoint(interaction.name, interaction.initial);
        }
    });
};

Viewer.prototype.bodyPose = function(name) {
    var index = this.model.bodyIndex.get(String(name));
    return index === undefined ? null : copyPose(this.model.bodies[index].pose);
};

Viewer.prototype.joints = function() {
    return this.model.interactions.filter(function(interaction) { return interaction.movable; })
        .map(function(interaction) {
            return {
                name: interaction.name,
                kind: interaction.kind,
                value: interaction.value,
                initial: interaction.initial,
                slider: interaction.slider.slice()
            };
        });
};

Viewer.prototype.meshCounts = function() {
    var loaded = this.meshes.filter(function(mesh) { return mesh.shape !== null; }).length;
    return {
        loaded: loaded,
        missing: this.meshes.length - loaded,
        triangles: this.meshes.map(function(mesh) { return mesh.triangles; })
    };
};

Viewer.prototype.errors = function() {
    return caughtErrors.slice();
};
