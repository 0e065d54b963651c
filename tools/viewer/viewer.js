// A minimal viewer of the scene JSON: bodies at their poses, primitive and mesh geometries,
// the camera framing the robot. The full viewer replaces this file.
(function () {
  'use strict';
  const scene = JSON.parse(document.getElementById('corvane-scene').textContent);
  const view = document.getElementById('view');
  const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  renderer.setSize(window.innerWidth, window.innerHeight);
  renderer.setClearColor(0x20242a);
  view.appendChild(renderer.domElement);
  const world = new THREE.Scene();
  world.add(new THREE.HemisphereLight(0xffffff, 0x444444, 1.0));
  const light = new THREE.DirectionalLight(0xffffff, 0.6);
  light.position.set(1, 2, 3);
  world.add(light);
  const camera = new THREE.PerspectiveCamera(45, window.innerWidth / window.innerHeight, 0.001, 1000);
  camera.up.set(0, 0, 1);
  const controls = new THREE.OrbitControls(camera, renderer.domElement);

  function setPose(object, pose) {
    object.position.fromArray(pose.position);
    object.quaternion.set(pose.rotation[0], pose.rotation[1], pose.rotation[2], pose.rotation[3]);
  }
  function decode(base64) {
    const text = atob(base64);
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    return bytes;
  }
  const meshCache = new Map();
  function meshObject(index) {
    const mesh = scene.meshes[index];
    if (!mesh || !mesh.data) return null;
    if (!meshCache.has(index)) {
      const bytes = decode(mesh.data);
      let object = null;
      try {
        if (mesh.format === 'stl') {
          object = new THREE.Mesh(new THREE.STLLoader().parse(bytes.buffer), material);
        } else if (mesh.format === 'obj') {
          object = new THREE.OBJLoader().parse(new TextDecoder().decode(bytes));
        } else if (mesh.format === 'dae') {
          object = new THREE.ColladaLoader().parse(new TextDecoder().decode(bytes), '').scene;
          object.updateMatrixWorld(true);
        }
      } catch (error) {
        object = null;
      }
      meshCache.set(index, object);
    }
    const cached = meshCache.get(index);
    return cached ? cached.clone() : null;
  }
  const material = new THREE.MeshStandardMaterial({ color: 0xb0b8c8, metalness: 0.1, roughness: 0.7 });
  function geometryObject(geometry) {
    let object = null;
    if (geometry.shape === 'sphere') {
      object = new THREE.Mesh(new THREE.SphereBufferGeometry(geometry.radius, 24, 16), material);
    } else if (geometry.shape === 'box') {
      object = new THREE.Mesh(new THREE.BoxBufferGeometry(geometry.size[0], geometry.size[1], geometry.size[2]), material);
    } else if (geometry.shape === 'cylinder') {
      object = new THREE.Mesh(new THREE.CylinderBufferGeometry(geometry.radius, geometry.radius, geometry.height, 24), material);
    } else if (geometry.shape === 'mesh' && geometry.mesh !== null && geometry.mesh !== undefined) {
      object = meshObject(geometry.mesh);
      if (object) object.scale.fromArray(geometry.scale);
    }
    if (!object) return null;
    const holder = new THREE.Group();
    setPose(holder, geometry);
    holder.add(object);
    return holder;
  }
  const bodies = new Map();
  for (const body of scene.bodies) {
    const group = new THREE.Group();
    group.name = body.name;
    setPose(group, body);
    for (const geometry of body.geometries) {
      if (geometry.contact) continue;
      const object = geometryObject(geometry);
      if (object) group.add(object);
    }
    world.add(group);
    bodies.set(body.name, group);
  }

  function frameCamera() {
    const box = new THREE.Box3().setFromObject(world);
    if (box.isEmpty()) box.set(new THREE.Vector3(-0.5, -0.5, -0.5), new THREE.Vector3(0.5, 0.5, 0.5));
    const sphere = box.getBoundingSphere(new THREE.Sphere());
    const radius = Math.max(sphere.radius, 1e-3);
    const fov = THREE.MathUtils ? THREE.MathUtils.degToRad(camera.fov) : camera.fov * Math.PI / 180;
    const fit = Math.min(fov, 2 * Math.atan(Math.tan(fov / 2) * camera.aspect));
    const distance = radius / Math.sin(fit / 2) * 1.1;
    const direction = new THREE.Vector3(1, 0.8, 0.6).normalize();
    camera.position.copy(sphere.center).addScaledVector(direction, distance);
    camera.near = distance / 100;
    camera.far = distance * 100;
    camera.updateProjectionMatrix();
    controls.target.copy(sphere.center);
    controls.update();
  }
  frameCamera();
  function draw() { renderer.render(world, camera); }
  controls.addEventListener('change', draw);
  draw();
  document.getElementById('status').textContent = scene.model + ': ' + scene.bodies.length + ' bodies';

  window.corvaneViewer = {
    ready: Promise.resolve(),
    bodyPose: function (name) {
      const group = bodies.get(name);
      if (!group) return null;
      return { position: group.position.toArray(), rotation: group.quaternion.toArray() };
    },
    setJoint: function () { return false; },
  };
})();
