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
 *   meshCounts()        {loaded, missing, triangles}: meshes of the scene decoded, those missing
 *                       or failing (their geometries are drawn as placeholders), and the
 *                       triangles drawn of each, in the scene's order (0 for a missing one).
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
 *                            "meshes": {"loaded": n, "missing": n, "triangles": [n]},
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
 *
 * The script is written in parts, joined in this order into the one script of the page at build
 * time (tools/page/CMakeLists.txt): begin.js (this overview, and the opening of the function that
 * holds everything, so that nothing but window.corvaneViewer reaches the page's globals),
 * errors.js (errors and warnings caught), model.js (scene reading, poses, placing), meshes.js
 * (decoding), drawing.js (three.js objects, layers, picking), view.js (renderer, camera,
 * frames), panels.js (title, notes, toggles, sliders, body facts), viewer.js (the parts together),
 * api.js (URL parameters, benchmark, report, window.corvaneViewer) and end.js (the start, and the
 * end of the function). The parts share the function's scope: a part uses what another declares.
 */
(function() {
'use strict';
