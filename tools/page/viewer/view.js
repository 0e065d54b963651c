// The view: renderer, camera, lights and orbit controls, frames drawn on demand.

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

// Turns the camera to one body: the same direction of view, at the distance where the body's
// shown parts (or a small box around its origin) fill most of the view.
View.prototype.frameBody = function(index) {
    var object = this.drawing.bodyObjects[index];
    if (!object) return;
    this.drawing.root.updateMatrixWorld(true);
    var box = new THREE.Box3().setFromObject(object);
    if (box.isEmpty()) {
        var origin = new THREE.Vector3().setFromMatrixPosition(object.matrixWorld);
        var half = this.drawing.extent * 0.05;
        box.setFromCenterAndSize(origin, new THREE.Vector3(half, half, half).multiplyScalar(2));
    }
    var sphere = box.getBoundingSphere(new THREE.Sphere());
    var radius = Math.max(sphere.radius, 1e-3);
    var direction = new THREE.Vector3().subVectors(this.camera.position, this.controls.target);
    if (direction.lengthSq() === 0) direction.set(1, 0.7, 0.55);
    direction.normalize();
    var distance = radius / Math.sin(this.camera.fov / 2 * Math.PI / 180) * 1.2;
    this.camera.position.copy(sphere.center).addScaledVector(direction, distance);
    this.camera.near = distance / 200;
    this.camera.far = distance * 100;
    this.camera.updateProjectionMatrix();
    this.controls.target.copy(sphere.center);
    this.controls.update();
    this.requestFrame();
};

// The camera as the page's API reports it: where it stands and what it looks at.
View.prototype.cameraState = function() {
    return {position: this.camera.position.toArray(), target: this.controls.target.toArray()};
};
