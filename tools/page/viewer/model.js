// The scene read into a model of bodies and joints, and the poses of bodies moved by a joint,
// in double precision and apart from any drawing.

// ---- Poses in double precision: {position: [x, y, z], rotation: [x, y, z, w]} ----

function multiplyQuaternions(a, b) {
    return [
        a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1],
        a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
        a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3],
        a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]
    ];
}

function rotateVector(q, v) {
    // v + w t + u x t, with u the vector part of q and t = 2 u x v.
    var tx = 2 * (q[1] * v[2] - q[2] * v[1]);
    var ty = 2 * (q[2] * v[0] - q[0] * v[2]);
    var tz = 2 * (q[0] * v[1] - q[1] * v[0]);
    return [
        v[0] + q[3] * tx + (q[1] * tz - q[2] * ty), v[1] + q[3] * ty + (q[2] * tx - q[0] * tz),
        v[2] + q[3] * tz + (q[0] * ty - q[1] * tx)
    ];
}

function composePoses(a, b) {
    var moved = rotateVector(a.rotation, b.position);
    return {
        position: [a.position[0] + moved[0], a.position[1] + moved[1], a.position[2] + moved[2]],
        rotation: multiplyQuaternions(a.rotation, b.rotation)
    };
}

function invertPose(a) {
    var conjugate = [-a.rotation[0], -a.rotation[1], -a.rotation[2], a.rotation[3]];
    var back = rotateVector(conjugate, a.position);
    return {position: [-back[0], -back[1], -back[2]], rotation: conjugate};
}

function jointMotion(kind, value) {
    if (kind === 'hinge') {
        return {position: [0, 0, 0], rotation: [Math.sin(value / 2), 0, 0, Math.cos(value / 2)]};
    }
    if (kind === 'prismatic') return {position: [value, 0, 0], rotation: [0, 0, 0, 1]};
    return {position: [0, 0, 0], rotation: [0, 0, 0, 1]};
}

function copyPose(pose) {
    return {position: pose.position.slice(), rotation: pose.rotation.slice()};
}

// ---- Reading the scene: missing members get harmless defaults, bad numbers become zero ----

function numberOr(value, fallback) {
    return typeof value === 'number' && isFinite(value) ? value : fallback;
}

function vectorOf(value, length, fallback) {
    var result = [];
    for (var i = 0; i < length; ++i) {
        result.push(numberOr(Array.isArray(value) ? value[i] : undefined, fallback[i]));
    }
    return result;
}

function poseOf(value) {
    var member = value && typeof value === 'object' ? value : {};
    return {
        position: vectorOf(member.position, 3, [0, 0, 0]),
        rotation: vectorOf(member.rotation, 4, [0, 0, 0, 1])
    };
}

function textOf(value) { return value === undefined || value === null ? '' : String(value); }

function listOf(value) { return Array.isArray(value) ? value : []; }

function readScene() {
    var element = document.getElementById('corvane-scene');
    if (!element) throw new Error('the page holds no scene');
    var scene = JSON.parse(element.textContent);
    if (!scene || scene.format !== 'corvane-scene') {
        throw new Error('the page\'s scene is not a corvane scene');
    }
    if (scene.version !== 1) {
        warnings.push('scene version ' + textOf(scene.version) + ', this page reads version 1');
    }
    return scene;
}

// ---- The model: bodies, joints and their poses, apart from any drawing ----

function Model(scene) {
    var self = this;
    this.name = textOf(scene.model);
    this.bodies = listOf(scene.bodies).map(function(body, index) {
        var pose = poseOf(body);
        return {
            index: index,
            source: body || {},
            name: textOf(body && body.name),
            initialPose: pose,
            pose: copyPose(pose),
            outgoing: [],
            incoming: []
        };
    });
    this.bodyIndex = new Map();
    this.bodies.forEach(function(body) {
        if (!self.bodyIndex.has(body.name)) self.bodyIndex.set(body.name, body.index);
    });
    this.interactions = listOf(scene.interactions).map(function(interaction, index) {
        var source = interaction || {};
        var kind = textOf(source.kind);
        var initial = numberOr(source.initial, 0);
        var slider = vectorOf(source.slider, 2, [-Math.PI, Math.PI]);
        return {
            index: index,
            source: source,
            name: textOf(source.name),
            kind: kind,
            movable: kind === 'hinge' || kind === 'prismatic',
            parent: self.bodyIndex.has(textOf(source.parent)) ?
                self.bodyIndex.get(textOf(source.parent)) :
                -1,
            child: self.bodyIndex.has(textOf(source.child)) ?
                self.bodyIndex.get(textOf(source.child)) :
                -1,
            parentFrame: poseOf(source.parentFrame),
            inverseChildFrame: invertPose(poseOf(source.childFrame)),
            initial: initial,
            value: initial,
            slider: [Math.min(slider[0], slider[1]), Math.max(slider[0], slider[1])],
            orderPosition: -1
        };
    });
    this.interactions.forEach(function(interaction) {
        if (interaction.parent >= 0) {
            self.bodies[interaction.parent].outgoing.push(interaction.index);
        }
        if (interaction.child >= 0) self.bodies[interaction.child].incoming.push(interaction.index);
    });
    this.order = [];
    listOf(scene.order).forEach(function(index) {
        var interaction = self.interactions[index];
        if (interaction && interaction.orderPosition < 0) {
            interaction.orderPosition = self.order.length;
            self.order.push(index);
        }
    });
    this.jointIndex = new Map();
    this.interactions.forEach(function(interaction) {
        if (!self.jointIndex.has(interaction.name)) {
            self.jointIndex.set(interaction.name, interaction.index);
        }
    });
}

Model.prototype.interactionNamed = function(name) {
    var index = this.jointIndex.get(String(name));
    return index === undefined ? null : this.interactions[index];
};

// Sets a joint's value and recomputes the poses of its child's subtree; returns the indexes
// of the bodies that moved.
Model.prototype.setValue = function(interaction, value) {
    interaction.value = value;
    var moved = [];
    if (interaction.orderPosition < 0 || interaction.child < 0 || interaction.parent < 0) {
        return moved;
    }
    var inSubtree = new Set([interaction.child]);
    this.placeChild(interaction);
    moved.push(interaction.child);
    for (var i = interaction.orderPosition + 1; i < this.order.length; ++i) {
        var next = this.interactions[this.order[i]];
        if (next.parent >= 0 && next.child >= 0 && inSubtree.has(next.parent) &&
            !inSubtree.has(next.child)) {
            inSubtree.add(next.child);
            this.placeChild(next);
            moved.push(next.child);
        }
    }
    return moved;
};

Model.prototype.placeChild = function(interaction) {
    var parentPose = this.bodies[interaction.parent].pose;
    var pose = composePoses(
        composePoses(
            composePoses(parentPose, interaction.parentFrame),
            jointMotion(interaction.kind, interaction.value)),
        interaction.inverseChildFrame);
    this.bodies[interaction.child].pose = pose;
};
