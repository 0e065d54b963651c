// The viewer: model, meshes, drawing, view and panels together, and what they do on a change.

function Viewer(scene) {
    this.scene = scene;
    this.model = new Model(scene);
    this.meshes = [];
    this.drawing = null;
    this.view = null;
    this.shown = {visual: true, contact: false, frames: false, centres: false, inertia: false};
    this.panels = new Panels(this);
    this.timings = {};
}

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
    var self = this;
    this.drawing.layers.forEach(function(
        layer) { self.drawing.showLayer(layer, self.shown[layer]); });
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
    this.drawing.showLayer(layer, visible);
    this.view.requestFrame();
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
