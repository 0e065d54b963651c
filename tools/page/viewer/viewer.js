/*
 * Corvane robot viewer: the script of the page that `corvane-urdf -f html` writes.
 *
 * The page is one self-contained HTML file. It holds three.js (Debian's libjs-three: the library,
 * its orbit controls and its STL, OBJ and Collada loaders), this script, and the scene: a JSON
 * document in the script element of type application/json with the id corvane-scene, with every
 * body's pose in the world at the document's initial values, its geometries (meshes embedded once,
 * in base64), its connectors and mass properties, and the interactions between bodies. The page
 * draws what the scene holds and computes nothing else, except the poses of bodies moved by a
 * slider:
 *
 *   world(child) = world(parent) * parentFrame * M(q) * inverse(childFrame)
 *
 * with M(q) a turn by q about the x axis of the joint frame (hinge) or a move by q along it
 * (prismatic), and a lock rigid. Moving one joint changes the poses of its child's subtree only,
 * walked in the scene's "order" (parents before children). Poses are kept in double precision
 * apart from three.js (whose matrices are single precision), so that what the page reports equals
 * the scene's own numbers.
 *
 * Conventions
 *   - The world's z axis points up (the robot's convention); the camera orbits about it.
 *   - A cylinder lies along its local y axis, three.js's own cylinder axis: the scene's geometry
 *     rotation already holds the turn from the robot's z-axis cylinders.
 *   - Collada: the file's <unit> is honoured (the loader scales the model by it), its <up_axis> is
 *     not. URDF tools (rviz, which loads meshes through Assimp, and the simulators) take a mesh's
 *     coordinates as coordinates in the link frame whatever the file declares as up, and the
 *     Z_UP files that robot packages ship are drawn right that way; so the page undoes the turn
 *     three.js's Collada loader applies to a Z_UP file.
 *   - STL and OBJ coordinates are taken as they are, times the geometry's scale.
 *   - A mesh that the scene does not hold or that fails to decode is drawn as a magenta wire box
 *     and listed on the page with the reason; the rest of the page works as usual.
 *   - Names reach the screen as text only (textContent); nothing from the scene is evaluated.
 *
 * The page's controls: a slider per hinge and prismatic interaction (within the scene's "slider"
 * range, starting at the initial value) with its value and a reset; a reset of all joints; toggles
 * for visual geometry, contact geometry, connector frames (axis triads: red the main axis, green
 * the normal, blue their cross product), centres of mass, and equivalent inertia boxes. Bodies
 * without any mass are tinted red and listed (as the graph marks them); bodies given only a
 * negligible mass are tinted amber. Clicking a body shows its name, mass, inertia, geometries and
 * interactions. The camera frames everything drawn when the page opens.
 *
 * For tests and scripts: window.corvaneViewer
 *   ready               a Promise, resolved (with the viewer) once every mesh is decoded, the URL's
 *                       joint values are set and the first frame is drawn; it resolves also when
 *                       drawing is impossible (no WebGL): the poses still work. Rejected when
 *                       the page cannot read its scene.
 *   setJoint(name, v)   sets a hinge (radians) or prismatic (metres) interaction to v and moves
 *                       its child's subtree; values outside the slider are accepted. Returns v.
 *                       Throws an Error for an unknown or locked interaction or a value that is
 *                       not a finite number.
 *   resetJoint(name)    back to the initial value; resetJoints() resets all of them.
 *   bodyPose(name)      {position: [x, y, z], rotation: [x, y, z, w]}: the body's pose in the
 *                       world for the current joint values; null for an unknown body.
 *   bodies()            the body names, in the scene's order.
 *   joints()            [{name, kind, value, initial, slider: [lo, hi]}] for every hinge and
 *                       prismatic interaction, in the scene's order.
 *   meshCounts()        {loaded, missing}: meshes of the scene decoded, and those missing or
 *                       failing (their geometries are drawn as placeholders).
 *   errors()            the errors caught on the page (see the report).
 *
 * URL parameters (after "?", separated by "&")
 *   joints=j1:0.5,j2:-1   sets joint values on load, through setJoint. Names and values are
 *                         percent-decoded after the list is split at "," and each item at its last
 *                         ":", so a name holding "," or ":" is written percent-encoded. Unknown
 *                         names and bad values are reported as warnings.
 *   show=visual,contact   the layers shown when the page opens, out of visual, contact, frames,
 *                         centres and inertia (by default visual geometry only, or contact geometry
 *                         for a robot without visual geometry).
 *   report=1              once ready, writes a JSON report as the text of
 *                         the pre element with the id corvane-report, so that a command-line
 * browser without a driver (chromium --headless --dump-dom) can read it:
 *                           {"format": "corvane-viewer-report", "version": 1, "model": NAME,
 *                            "ready": true, "webgl": bool,
 *                            "bodies": [{"name", "position", "rotation"}],
 *                            "joints": [{"name", "kind", "value"}],
 *                            "meshes": {"loaded": n, "missing": n},
 *                            "missingMeshes": [{"index", "path", "problem"}],
 *                            "drawn": {"bodies", "geometries", "placeholders"},
 *                            "renderer": {"software", "calls", "triangles"} (of the last frame),
 *                            "errors": [text], "warnings": [text],
 *                            "timings": {"decodeMs", "firstFrameMs", "readyMs"},
 *                            "bench": {...} (with bench=1)}
 *                         "errors" holds what window.onerror, unhandled promise rejections,
 *                         console.error and blocked resource loads reported; messages of a mesh
 *                         loader go with that mesh's problem or into "warnings".
 *   bench=1               (implies report=1) once ready, times 100 slider changes, each with a
 *                         drawn frame that is waited for, and puts into the report
 *                         "bench": {"changes", "totalMs", "perChangeMs", "setJointMs", "joints"}
 *                         (setJointMs: the part spent on poses and placing, not drawing); the
 * joints are then reset.
 *
 * The script runs before three.js in the page, so that it catches errors of every later script;
 * it starts drawing when the document is parsed.
 */
(function() {
'use strict';

var caughtErrors = [];
var warnings = [];
// While a mesh decodes, the messages its loader prints belong to that mesh.
var loaderMessages = null;

function messageOf(values) {
    return Array.prototype.map
        .call(
            values,
            function(value) {
                if (value instanceof Error) return value.message;
                return String(value);
            })
        .join(' ');
}

window.addEventListener('error', function(event) {
    var where = event.filename ? ' (' + event.filename + ':' + event.lineno + ')' : '';
    caughtErrors.push(String(event.message || 'error') + where);
});
window.addEventListener(
    'unhandledrejection',
    function(event) { caughtErrors.push('unhandled rejection: ' + messageOf([event.reason])); });
document.addEventListener('securitypolicyviolation', function(event) {
    caughtErrors.push('blocked: ' + event.violatedDirective + ' ' + event.blockedURI);
});
(function captureConsole() {
    var originalError = console.error;
    var originalWarn = console.warn;
    console.error = function() {
        if (loaderMessages) {
            loaderMessages.push(messageOf(arguments));
        } else {
            caughtErrors.push(messageOf(arguments));
        }
        return originalError.apply(console, arguments);
    };
    console.warn = function() {
        if (loaderMessages) loaderMessages.push(messageOf(arguments));
        return originalWarn.apply(console, arguments);
    };
})();

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

// ---- Meshes: each decoded once, shared by the geometries that use it ----

function bytesOfBase64(text) {
    var binary = atob(text);
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
}

function textOfBytes(bytes) { return new TextDecoder('utf-8').decode(bytes); }

function countVertices(object) {
    var count = 0;
    object.traverse(function(child) {
        var geometry = child.geometry;
        if (geometry && geometry.attributes && geometry.attributes.position) {
            count += geometry.attributes.position.count;
        }
    });
    return count;
}

function decodeStl(bytes) {
    var geometry = new THREE.STLLoader().parse(bytes.buffer);
    if (!geometry.attributes.position || geometry.attributes.position.count === 0) {
        throw new Error('the STL file holds no triangles');
    }
    // Many STL files carry zero or stale facet normals: shade from the triangles themselves.
    geometry.computeVertexNormals();
    return {geometry: geometry};
}

function decodeObj(bytes) {
    var group = new THREE.OBJLoader().parse(textOfBytes(bytes));
    if (countVertices(group) === 0) throw new Error('the OBJ file holds no faces');
    return {object: group};
}

function decodeCollada(bytes) {
    var collada = new THREE.ColladaLoader().parse(textOfBytes(bytes), '');
    if (!collada || !collada.scene) throw new Error('the Collada file could not be read');
    // Keep the loader's unit scale, undo its turn for a Z_UP file (see the top of the file).
    collada.scene.quaternion.set(0, 0, 0, 1);
    collada.scene.updateMatrix();
    if (countVertices(collada.scene) === 0) throw new Error('the Collada file holds no geometry');
    return {object: collada.scene};
}

var decoders = {stl: decodeStl, obj: decodeObj, dae: decodeCollada};

function decodeMesh(source) {
    var mesh = {
        path: textOf(source && source.path),
        format: textOf(source && source.format),
        shape: null,
        problem: null
    };
    if (!source || typeof source.data !== 'string') {
        mesh.problem = textOf(source && source.problem) || 'not embedded in the page';
        return mesh;
    }
    var decode = decoders[mesh.format];
    if (!decode) {
        mesh.problem = 'unknown mesh format "' + mesh.format + '"';
        return mesh;
    }
    loaderMessages = [];
    try {
        mesh.shape = decode(bytesOfBase64(source.data));
    } catch (error) {
        mesh.problem = 'cannot be decoded: ' + messageOf([error]);
    } finally {
        var messages = loaderMessages;
        loaderMessages = null;
    }
    if (messages.length > 0) {
        if (mesh.problem) {
            mesh.problem += ' (' + messages.join('; ') + ')';
        } else {
            messages.forEach(function(message) { warnings.push(mesh.path + ': ' + message); });
        }
    }
    return mesh;
}

// ---- Drawing ----

var palette = {
    visual: 0xb8c4d0,
    withoutMass: 0xd9534f,
    negligibleMass: 0xe0b050,
    contact: 0x2fa36b,
    placeholder: 0xff00ff,
    centreOfMass: 0xffd400,
    inertia: 0x3b6ea5,
    selection: 0xffaa00
};

function makeMaterials() {
    function solid(colour) {
        return new THREE.MeshPhongMaterial({color: colour, side: THREE.DoubleSide, shininess: 30});
    }
    return {
        visual: solid(palette.visual),
        withoutMass: solid(palette.withoutMass),
        negligibleMass: solid(palette.negligibleMass),
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
    var self = this;
    model.bodies.forEach(function(body) { self.bodyObjects.push(self.makeBody(body)); });
}

Drawing.prototype.layers = ['visual', 'contact', 'frames', 'centres', 'inertia'];

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
    this.bodyObjects.forEach(function(object) { object.userData.layers[layer].visible = visible; });
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

// ---- The view: renderer, camera, lights, orbit controls, frames drawn on demand ----

function View(container, drawing) {
    this.drawing = drawing;
    this.software = drawsInSoftware();
    this.renderer =
        new THREE.WebGLRenderer({antialias: !this.software, preserveDrawingBuffer: true});
    this.renderer.setPixelRatio(window.devicePixelRatio || 1);
    this.renderer.setClearColor(0xf4f6f8, 1);
    container.appendChild(this.renderer.domElement);
    this.scene = new THREE.Scene();
    this.camera = new THREE.PerspectiveCamera(40, 1, 0.01, 100);
    this.camera.up.set(0, 0, 1);
    this.scene.add(new THREE.HemisphereLight(0xffffff, 0x667788, 0.75));
    var light = new THREE.DirectionalLight(0xffffff, 0.55);
    light.position.set(1, 0.6, 2);
    this.camera.add(light);
    this.scene.add(this.camera);
    this.scene.add(drawing.root);
    this.selection = null;
    this.pending = false;
    this.controls = new THREE.OrbitControls(this.camera, this.renderer.domElement);
    this.controls.screenSpacePanning = true;
    var self = this;
    this.controls.addEventListener('change', function() { self.requestFrame(); });
    window.addEventListener('resize', function() {
        self.fitCanvas();
        self.requestFrame();
    });
    this.fitCanvas();
}

// True when WebGL is drawn by a software renderer (SwiftShader, llvmpipe): multisampling there
// costs about two thirds of each frame, so the page draws without it.
function drawsInSoftware() {
    try {
        var gl = document.createElement('canvas').getContext('webgl');
        if (!gl) return false;
        var names = gl.getExtension('WEBGL_debug_renderer_info');
        var renderer =
            names ? gl.getParameter(names.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER);
        var lose = gl.getExtension('WEBGL_lose_context');
        if (lose) lose.loseContext();
        return /swiftshader|llvmpipe|softpipe|software/i.test(String(renderer));
    } catch (error) {
        return false;
    }
}

View.prototype.fitCanvas = function() {
    var canvas = this.renderer.domElement.parentNode;
    var width = Math.max(canvas.clientWidth, 1);
    var height = Math.max(canvas.clientHeight, 1);
    this.renderer.setSize(width, height);
    this.camera.aspect = width / height;
    this.camera.updateProjectionMatrix();
};

// Puts the camera so that everything drawn fits the view with a margin, looking at the robot
// from the front left and a little above: for each corner of each shown mesh's box, the camera
// stands far enough back for the corner to be inside the frustum shrunk by the margin.
View.prototype.frameAll = function() {
    var corners = this.drawing.shownCorners();
    if (corners.length === 0) {
        corners = [new THREE.Vector3(-0.5, -0.5, -0.5), new THREE.Vector3(0.5, 0.5, 0.5)];
    }
    var centre = new THREE.Box3().setFromPoints(corners).getCenter(new THREE.Vector3());
    var backward = new THREE.Vector3(1, 0.7, 0.55).normalize();
    var right = new THREE.Vector3().crossVectors(this.camera.up, backward).normalize();
    var up = new THREE.Vector3().crossVectors(backward, right);
    var margin = 0.9;
    var tanHeight = Math.tan(this.camera.fov / 2 * Math.PI / 180) * margin;
    var tanWidth = tanHeight * this.camera.aspect;
    var distance = 1e-3;
    var offset = new THREE.Vector3();
    corners.forEach(function(corner) {
        offset.subVectors(corner, centre);
        var needed = offset.dot(backward) +
            Math.max(Math.abs(offset.dot(right)) / tanWidth, Math.abs(offset.dot(up)) / tanHeight);
        distance = Math.max(distance, needed);
    });
    this.camera.position.copy(centre).addScaledVector(backward, distance);
    this.camera.near = distance / 200;
    this.camera.far = distance * 100;
    this.camera.updateProjectionMatrix();
    this.controls.target.copy(centre);
    this.controls.update();
};

View.prototype.requestFrame = function() {
    if (this.pending) return;
    this.pending = true;
    var self = this;
    requestAnimationFrame(function() {
        self.pending = false;
        self.draw();
    });
};

View.prototype.draw = function() {
    if (this.selection) this.selection.update();
    this.renderer.render(this.scene, this.camera);
};

// Draws now and waits for the GPU (reading one pixel), for timing.
View.prototype.drawAndWait = function() {
    this.draw();
    var gl = this.renderer.getContext();
    var pixel = new Uint8Array(4);
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
};

View.prototype.select = function(index) {
    if (this.selection) {
        this.scene.remove(this.selection);
        this.selection.geometry.dispose();
        this.selection = null;
    }
    if (index >= 0) {
        this.selection = new THREE.BoxHelper(this.drawing.bodyObjects[index], palette.selection);
        this.scene.add(this.selection);
    }
    this.requestFrame();
};

// ---- The page's panels: every name goes in as text ----

function element(tag, text, className) {
    var node = document.createElement(tag);
    if (text !== undefined && text !== null) node.textContent = String(text);
    if (className) node.className = className;
    return node;
}

function formatNumber(value) {
    if (typeof value !== 'number' || !isFinite(value)) return String(value);
    var rounded = Math.abs(value) < 1e-12 ? 0 : value;
    return Number(rounded.toPrecision(4)).toString();
}

function formatVector(values) { return '(' + listOf(values).map(formatNumber).join(', ') + ')'; }

function formatJointValue(interaction) {
    if (interaction.kind === 'hinge') {
        return formatNumber(interaction.value) + ' rad (' +
            formatNumber(interaction.value * 180 / Math.PI) + '\u00b0)';
    }
    return formatNumber(interaction.value) + ' m';
}

function Panels(viewer) {
    this.viewer = viewer;
    this.sliders = new Map();
    this.info = document.getElementById('corvane-info');
}

Panels.prototype.build = function(scene) {
    var model = this.viewer.model;
    setText('corvane-title', model.name || 'robot');
    this.buildStatus(scene);
    this.buildToggles();
    this.buildJoints();
};

function setText(id, text) {
    var node = document.getElementById(id);
    if (node) node.textContent = text;
    return node;
}

Panels.prototype.buildStatus = function(scene) {
    var viewer = this.viewer;
    var counts = viewer.meshCounts();
    var model = viewer.model;
    setText(
        'corvane-summary',
        model.bodies.length + ' bodies, ' + model.interactions.length + ' interactions; ' +
            counts.loaded + ' meshes loaded, ' + counts.missing + ' missing');
    var notes = document.getElementById('corvane-notes');
    if (!notes) return;
    var missing = [];
    viewer.meshes.forEach(function(mesh) {
        if (!mesh.shape) missing.push(mesh.path + ': ' + mesh.problem);
    });
    appendList(notes, 'Missing meshes (drawn as magenta boxes)', missing, 'corvane-missing');
    var withoutMass =
        model.bodies.filter(function(body) { return body.source.withoutAnyMass === true; })
            .map(function(body) { return body.name; });
    appendList(notes, 'Bodies without any mass (red)', withoutMass, 'corvane-without-mass');
    appendList(
        notes, 'Bodies not placed (drawn at the origin)', listOf(scene.unplaced).map(textOf),
        'corvane-unplaced');
    appendList(notes, 'Page errors', viewer.errors(), 'corvane-errors');
};

function appendList(container, title, items, id) {
    if (items.length === 0) return;
    var section = element('details', null, 'corvane-note');
    section.id = id;
    section.appendChild(element('summary', title + ' (' + items.length + ')'));
    var list = element('ul');
    items.forEach(function(item) { list.appendChild(element('li', item)); });
    section.appendChild(list);
    container.appendChild(section);
}

Panels.prototype.buildToggles = function() {
    var container = document.getElementById('corvane-toggles');
    var viewer = this.viewer;
    if (!container || !viewer.drawing) return;
    var labels = {
        visual: 'Visual geometry',
        contact: 'Contact geometry',
        frames: 'Connector frames',
        centres: 'Centres of mass',
        inertia: 'Inertia boxes'
    };
    viewer.drawing.layers.forEach(function(layer) {
        var label = element('label');
        var box = element('input');
        box.type = 'checkbox';
        box.checked = viewer.shown[layer];
        box.addEventListener('change', function() { viewer.showLayer(layer, box.checked); });
        label.appendChild(box);
        label.appendChild(document.createTextNode(' ' + labels[layer]));
        container.appendChild(label);
    });
};

Panels.prototype.buildJoints = function() {
    var container = document.getElementById('corvane-joints');
    if (!container) return;
    var viewer = this.viewer;
    var self = this;
    var movable =
        viewer.model.interactions.filter(function(interaction) { return interaction.movable; });
    setText('corvane-joint-count', String(movable.length));
    movable.forEach(function(interaction) { container.appendChild(self.makeSlider(interaction)); });
    var filter = document.getElementById('corvane-joint-filter');
    if (filter) {
        filter.addEventListener('input', function() {
            var wanted = filter.value.toLowerCase();
            self.sliders.forEach(function(
                row) { row.row.hidden = row.name.toLowerCase().indexOf(wanted) < 0; });
        });
    }
    var resetAll = document.getElementById('corvane-reset-all');
    if (resetAll) {
        resetAll.addEventListener('click', function() { viewer.resetJoints(); });
    }
};

Panels.prototype.makeSlider = function(interaction) {
    var viewer = this.viewer;
    var row = element('div', null, 'corvane-joint');
    var head = element('div', null, 'corvane-joint-head');
    head.appendChild(element('span', interaction.name, 'corvane-joint-name'));
    var shown = element('span', formatJointValue(interaction), 'corvane-joint-value');
    head.appendChild(shown);
    var reset = element('button', '\u21ba', 'corvane-reset');
    reset.type = 'button';
    reset.title = 'Back to the initial value';
    reset.addEventListener('click', function() { viewer.resetJoint(interaction.name); });
    head.appendChild(reset);
    row.appendChild(head);
    var slider = element('input');
    slider.type = 'range';
    slider.min = String(interaction.slider[0]);
    slider.max = String(interaction.slider[1]);
    slider.step = String((interaction.slider[1] - interaction.slider[0]) / 1000 || 'any');
    slider.value = String(interaction.value);
    slider.title = interaction.kind + ' ' + formatNumber(interaction.slider[0]) + ' to ' +
        formatNumber(interaction.slider[1]);
    slider.addEventListener(
        'input', function() { viewer.setJoint(interaction.name, Number(slider.value)); });
    row.appendChild(slider);
    this.sliders.set(
        interaction.index, {row: row, slider: slider, shown: shown, name: interaction.name});
    return row;
};

Panels.prototype.showValue = function(interaction) {
    var entry = this.sliders.get(interaction.index);
    if (!entry) return;
    entry.shown.textContent = formatJointValue(interaction);
    if (Number(entry.slider.value) !== interaction.value) {
        entry.slider.value = String(interaction.value);
    }
};

Panels.prototype.showBody = function(index) {
    var info = this.info;
    if (!info) return;
    while (info.firstChild) info.removeChild(info.firstChild);
    if (index < 0) {
        info.hidden = true;
        return;
    }
    var model = this.viewer.model;
    var body = model.bodies[index];
    var source = body.source;
    info.hidden = false;
    var close = element('button', '\u00d7', 'corvane-close');
    close.type = 'button';
    close.title = 'Close';
    var viewer = this.viewer;
    close.addEventListener('click', function() { viewer.select(-1); });
    info.appendChild(close);
    info.appendChild(element('h2', body.name));
    var facts = element('dl');
    function fact(term, value) {
        facts.appendChild(element('dt', term));
        facts.appendChild(element('dd', value));
    }
    if (typeof source.mass === 'number') {
        fact('Mass', formatNumber(source.mass) + ' kg');
    } else if (typeof source.assignedMass === 'number') {
        fact('Mass', formatNumber(source.assignedMass) + ' kg (negligible mass assigned)');
    } else {
        fact('Mass', source.withoutAnyMass ? 'none: the body has no mass at all' : 'none');
    }
    if (Array.isArray(source.inertia)) {
        fact('Inertia', source.inertia.map(formatVector).join(' '));
    }
    if (source.centreOfMass) fact('Centre of mass', formatVector(source.centreOfMass.position));
    fact('Position', formatVector(body.pose.position));
    fact('Rotation', formatVector(body.pose.rotation));
    info.appendChild(facts);
    var geometries = listOf(source.geometries).map(function(geometry) {
        geometry = geometry || {};
        var text = textOf(geometry.name) + ': ' + (geometry.contact ? 'contact ' : 'visual ') +
            textOf(geometry.shape);
        if (geometry.radius !== undefined) text += ' r ' + formatNumber(geometry.radius);
        if (geometry.height !== undefined) text += ' h ' + formatNumber(geometry.height);
        if (geometry.size !== undefined) text += ' ' + formatVector(geometry.size);
        if (geometry.path !== undefined) text += ' ' + textOf(geometry.path);
        return text;
    });
    appendSection(info, 'Geometries', geometries);
    var interactions = [];
    body.incoming.concat(body.outgoing).forEach(function(i) {
        var interaction = model.interactions[i];
        var other =
            interaction.child === index ? interaction.source.parent : interaction.source.child;
        var text = interaction.name + ': ' + interaction.kind +
            (interaction.child === index ? ' from ' : ' to ') + textOf(other);
        if (interaction.movable) text += ', at ' + formatJointValue(interaction);
        interactions.push(text);
    });
    appendSection(info, 'Interactions', interactions);
};

function appendSection(container, title, items) {
    container.appendChild(element('h3', title + ' (' + items.length + ')'));
    var list = element('ul');
    items.forEach(function(item) { list.appendChild(element('li', item)); });
    container.appendChild(list);
}

// ---- The viewer: model, meshes, drawing, view and panels together ----

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
    return {loaded: loaded, missing: this.meshes.length - loaded};
};

Viewer.prototype.errors = function() {
    return caughtErrors.slice();
};

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

function start(settleReady) {
    var query = window.location.search || '';
    var bench = flagSet(query, 'bench');
    var wantReport = bench || flagSet(query, 'report');
    var viewer = null;
    try {
        viewer = new Viewer(readScene());
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

if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', startSafely);
} else {
    startSafely();
}
})();
