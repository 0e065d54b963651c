// The three.js objects of the bodies: geometries, frames, centres of mass and inertia boxes, one
// group per layer so that a toggle shows or hides a layer of every body.

var palette = {
    visual: 0xb8c4d0,
    withoutMass: 0xd9534f,
    negligibleMass: 0xe0b050,
    contact: 0x2fa36b,
    placeholder: 0xff00ff,
    centreOfMass: 0xffd400,
    inertia: 0x3b6ea5,
    selection: 0xffaa00,
    findingError: 0xd62728,
    findingWarning: 0xf0a020
};

function makeMaterials() {
    function solid(colour) {
        return new THREE.MeshPhongMaterial({color: colour, side: THREE.DoubleSide, shininess: 30});
    }
    return {
        visual: solid(palette.visual),
        withoutMass: solid(palette.withoutMass),
        negligibleMass: solid(palette.negligibleMass),
        findingError: solid(palette.findingError),
        findingWarning: solid(palette.findingWarning),
        contact: new THREE.MeshPhongMaterial({
            color: palette.contact,
            transparent: true,
            opacity: 0.4,
            depthWrite: false,
            side: THREE.DoubleSide
        }),
        placeholder: new THREE.MeshBasicMaterial({color: palette.placeholder, wireframe: true}),
        centreOfMass: new THREE.MeshBasicMaterial(
            {color: palette.centreOfMass, depthTest: false, transparent: true}),
        inertia: new THREE.MeshBasicMaterial(
            {color: palette.inertia, transparent: true, opacity: 0.25, depthWrite: false}),
        inertiaEdges: new THREE.LineBasicMaterial({color: palette.inertia}),
        frame: new THREE.LineBasicMaterial(
            {vertexColors: THREE.VertexColors, depthTest: false, transparent: true})
    };
}

function applyPose(object, pose) {
    object.position.set(pose.position[0], pose.position[1], pose.position[2]);
    object.quaternion.set(pose.rotation[0], pose.rotation[1], pose.rotation[2], pose.rotation[3]);
}

function meshOfShape(decoded, material) {
    if (decoded.geometry) return new THREE.Mesh(decoded.geometry, material);
    var copy = decoded.object.clone(true);
    copy.traverse(function(child) {
        if (child.isMesh) child.material = material;
    });
    return copy;
}

// Radius of the robot from its body positions, for sizes of markers and placeholders.
function extentOf(model) {
    var box = new THREE.Box3();
    model.bodies.forEach(function(
        body) { box.expandByPoint(new THREE.Vector3().fromArray(body.pose.position)); });
    var size = box.isEmpty() ? 0 : box.getSize(new THREE.Vector3()).length();
    return Math.max(size, 0.2);
}

function Drawing(model, meshes, materials) {
    this.model = model;
    this.meshes = meshes;
    this.materials = materials;
    this.root = new THREE.Group();
    this.bodyObjects = [];
    this.counts = {bodies: 0, geometries: 0, placeholders: 0};
    this.hasVisual = false;
    this.extent = extentOf(model);
    this.namesMade = false;
    this.tinted = false;
    var self = this;
    model.bodies.forEach(function(body) { self.bodyObjects.push(self.makeBody(body)); });
}

Drawing.prototype.layers = ['visual', 'contact', 'frames', 'centres', 'inertia', 'names'];

// Frees what the GPU holds for the drawing, once it is replaced.
Drawing.prototype.dispose = function() {
    this.root.traverse(function(object) {
        if (object.geometry) object.geometry.dispose();
        if (object.isSprite && object.material.map) {
            object.material.map.dispose();
            object.material.dispose();
        }
    });
};

Drawing.prototype.makeBody = function(body) {
    var object = new THREE.Group();
    object.userData.bodyIndex = body.index;
    var layers = {};
    this.layers.forEach(function(layer) {
        layers[layer] = new THREE.Group();
        object.add(layers[layer]);
    });
    var source = body.source;
    var visualMaterial = this.materials.visual;
    if (source.withoutAnyMass === true) {
        visualMaterial = this.materials.withoutMass;
    } else if (typeof source.mass !== 'number' && typeof source.assignedMass === 'number') {
        visualMaterial = this.materials.negligibleMass;
    }
    object.userData.visualMaterial = visualMaterial;
    var self = this;
    listOf(source.geometries).forEach(function(geometry) {
        var contact = geometry && geometry.contact === true;
        var drawn =
            self.makeGeometry(geometry || {}, contact ? self.materials.contact : visualMaterial);
        if (!contact) self.hasVisual = true;
        (contact ? layers.contact : layers.visual).add(drawn);
        self.counts.geometries += 1;
    });
    listOf(source.connectors)
        .forEach(function(connector) { layers.frames.add(self.makeTriad(connector || {})); });
    if (source.centreOfMass &&
        (typeof source.mass === 'number' || typeof source.assignedMass === 'number')) {
        var marker = new THREE.Mesh(
            new THREE.SphereBufferGeometry(this.extent * 0.012, 12, 8),
            this.materials.centreOfMass);
        marker.renderOrder = 10;
        applyPose(marker, poseOf(source.centreOfMass));
        layers.centres.add(marker);
    }
    if (source.inertiaBox && Array.isArray(source.inertiaBox.size)) {
        var size = vectorOf(source.inertiaBox.size, 3, [0, 0, 0]);
        var box = new THREE.BoxBufferGeometry(
            Math.max(size[0], 1e-6), Math.max(size[1], 1e-6), Math.max(size[2], 1e-6));
        var inertia = new THREE.Mesh(box, this.materials.inertia);
        inertia.add(
            new THREE.LineSegments(new THREE.EdgesGeometry(box), this.materials.inertiaEdges));
        applyPose(inertia, poseOf(source.inertiaBox));
        layers.inertia.add(inertia);
    }
    object.userData.layers = layers;
    applyPose(object, body.pose);
    this.root.add(object);
    this.counts.bodies += 1;
    return object;
};

Drawing.prototype.makeGeometry = function(geometry, material) {
    var shape = textOf(geometry.shape);
    var drawn;
    if (shape === 'sphere') {
        drawn = new THREE.Mesh(
            new THREE.SphereBufferGeometry(Math.abs(numberOr(geometry.radius, 0)), 24, 16),
            material);
    } else if (shape === 'box') {
        var size = vectorOf(geometry.size, 3, [0, 0, 0]);
        drawn = new THREE.Mesh(
            new THREE.BoxBufferGeometry(Math.abs(size[0]), Math.abs(size[1]), Math.abs(size[2])),
            material);
    } else if (shape === 'cylinder') {
        var radius = Math.abs(numberOr(geometry.radius, 0));
        drawn = new THREE.Mesh(
            new THREE.CylinderBufferGeometry(
                radius, radius, Math.abs(numberOr(geometry.height, 0)), 24),
            material);
    } else if (shape === 'mesh') {
        var mesh = typeof geometry.mesh === 'number' ? this.meshes[geometry.mesh] : undefined;
        if (mesh && mesh.shape) {
            drawn = new THREE.Group();
            var inner = meshOfShape(mesh.shape, material);
            var scale = vectorOf(geometry.scale, 3, [1, 1, 1]);
            drawn.add(inner);
            drawn.scale.set(scale[0], scale[1], scale[2]);
        } else {
            drawn = this.makePlaceholder();
        }
    } else {
        drawn = this.makePlaceholder();
    }
    var placed = new THREE.Group();
    placed.add(drawn);
    applyPose(placed, poseOf(geometry));
    return placed;
};

Drawing.prototype.makePlaceholder = function() {
    var side = this.extent * 0.05;
    this.counts.placeholders += 1;
    var placeholder =
        new THREE.Mesh(new THREE.BoxBufferGeometry(side, side, side), this.materials.placeholder);
    placeholder.userData.placeholder = true;
    return placeholder;
};

Drawing.prototype.makeTriad = function(connector) {
    var length = this.extent * 0.04;
    var main = new THREE.Vector3().fromArray(vectorOf(connector.mainAxis, 3, [1, 0, 0]));
    var normal = new THREE.Vector3().fromArray(vectorOf(connector.normal, 3, [0, 1, 0]));
    var third = new THREE.Vector3().crossVectors(main, normal);
    var origin = new THREE.Vector3().fromArray(vectorOf(connector.position, 3, [0, 0, 0]));
    var points = [];
    var colours = [];
    [[main, [1, 0.1, 0.1]], [normal, [0.1, 0.8, 0.1]], [third, [0.2, 0.4, 1]]].forEach(function(
        axis) {
        var tip = axis[0].clone().normalize().multiplyScalar(length).add(origin);
        points.push(origin.x, origin.y, origin.z, tip.x, tip.y, tip.z);
        colours.push.apply(colours, axis[1].concat(axis[1]));
    });
    var geometry = new THREE.BufferGeometry();
    geometry.setAttribute('position', new THREE.Float32BufferAttribute(points, 3));
    geometry.setAttribute('color', new THREE.Float32BufferAttribute(colours, 3));
    var triad = new THREE.LineSegments(geometry, this.materials.frame);
    triad.renderOrder = 11;
    return triad;
};

Drawing.prototype.showLayer = function(layer, visible) {
    if (layer === 'names' && visible && !this.namesMade) this.makeNames();
    this.bodyObjects.forEach(function(object) { object.userData.layers[layer].visible = visible; });
};

// A name on the screen at a point: a sprite of constant size whatever the zoom, drawn over
// the robot.
function makeLabel(text, colour) {
    var canvas = document.createElement('canvas');
    var context = canvas.getContext('2d');
    var font = '28px system-ui, sans-serif';
    context.font = font;
    var width = Math.ceil(context.measureText(text).width) + 12;
    canvas.width = width;
    canvas.height = 40;
    context.font = font;
    context.fillStyle = 'rgba(255, 255, 255, 0.8)';
    context.fillRect(0, 0, width, 40);
    context.fillStyle = colour;
    context.textBaseline = 'middle';
    context.fillText(text, 6, 20);
    var texture = new THREE.CanvasTexture(canvas);
    texture.minFilter = THREE.LinearFilter;
    var sprite = new THREE.Sprite(new THREE.SpriteMaterial(
        {map: texture, depthTest: false, transparent: true, sizeAttenuation: false}));
    var height = 0.03;
    sprite.scale.set(height * width / 40, height, 1);
    sprite.center.set(0, 0);
    sprite.renderOrder = 12;
    return sprite;
}

// The "names" layer, made the first time it is shown: each body's name at its origin with its
// own frame as red, green and blue axes (x, y, z), each joint's name at its connector on the
// body it moves.
Drawing.prototype.makeNames = function() {
    this.namesMade = true;
    var self = this;
    var length = this.extent * 0.06;
    this.model.bodies.forEach(function(body, index) {
        var layer = self.bodyObjects[index].userData.layers.names;
        layer.add(new THREE.AxesHelper(length));
        layer.add(makeLabel(body.name, '#1d2a36'));
    });
    this.model.interactions.forEach(function(interaction) {
        if (interaction.child < 0) return;
        var label = makeLabel(interaction.name, '#3b6ea5');
        var at = poseOf(interaction.source.childFrame).position;
        label.position.set(at[0], at[1], at[2]);
        label.center.set(0, 1);
        self.bodyObjects[interaction.child].userData.layers.names.add(label);
    });
};

// Bodies with findings in red (an error) or amber (a warning only), or all as they were.
Drawing.prototype.tintFindings = function(severities, on) {
    var materials = this.materials;
    this.tinted = on;
    this.bodyObjects.forEach(function(object, index) {
        var severity = on ? severities[index] : undefined;
        var material = severity === 'error' ? materials.findingError :
            severity === 'warning'          ? materials.findingWarning :
                                              object.userData.visualMaterial;
        object.userData.layers.visual.traverse(function(child) {
            if (child.isMesh && !child.userData.placeholder) child.material = material;
        });
    });
};

Drawing.prototype.placeBodies = function(indexes) {
    var self = this;
    indexes.forEach(function(
        index) { applyPose(self.bodyObjects[index], self.model.bodies[index].pose); });
};

// The body under a point of the canvas (coordinates from -1 to 1), or -1.
Drawing.prototype.bodyAt = function(camera, x, y) {
    var raycaster = new THREE.Raycaster();
    raycaster.setFromCamera(new THREE.Vector2(x, y), camera);
    var hits = raycaster.intersectObject(this.root, true);
    for (var i = 0; i < hits.length; ++i) {
        var object = hits[i].object;
        if (!object.isMesh || !isShown(object)) continue;
        while (object && object.userData.bodyIndex === undefined) object = object.parent;
        if (object) return object.userData.bodyIndex;
    }
    return -1;
};

// The corners of the shown meshes' boxes in the world: a tighter hull than one box around all.
Drawing.prototype.shownCorners = function() {
    this.root.updateMatrixWorld(true);
    var corners = [];
    if (!isShown(this.root)) return corners;
    this.root.traverseVisible(function(object) {
        if (!object.isMesh || !object.geometry) return;
        if (!object.geometry.boundingBox) object.geometry.computeBoundingBox();
        var box = object.geometry.boundingBox;
        if (box.isEmpty()) return;
        for (var i = 0; i < 8; ++i) {
            corners.push(new THREE
                             .Vector3(
                                 i & 1 ? box.max.x : box.min.x, i & 2 ? box.max.y : box.min.y,
                                 i & 4 ? box.max.z : box.min.z)
                             .applyMatrix4(object.matrixWorld));
        }
    });
    return corners;
};

function isShown(object) {
    for (var node = object; node; node = node.parent) {
        if (!node.visible) return false;
    }
    return true;
}
