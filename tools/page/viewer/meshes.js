// The scene's embedded meshes decoded by three.js's loaders, each once.

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

// Triangles as drawn: three corners each, by the index where a geometry has one.
function geometryTriangles(geometry) {
    if (!geometry || !geometry.attributes || !geometry.attributes.position) return 0;
    var corners = geometry.index ? geometry.index.count : geometry.attributes.position.count;
    return Math.floor(corners / 3);
}

function countTriangles(shape) {
    if (shape.geometry) return geometryTriangles(shape.geometry);
    var count = 0;
    shape.object.traverse(function(child) { count += geometryTriangles(child.geometry); });
    return count;
}

// The tool hands over a binary STL as exactly its header and triangles and a text one from its
// "solid" on (SceneMeshes.cpp), so the loader's own guess of the kind is always right.
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
    // Keep the loader's unit scale, undo its turn for a Z_UP file (see begin.js).
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
        problem: null,
        triangles: 0
    };
    // A live page fetches the bytes (liveMeshBytes) instead of carrying them in base64.
    var fetched = source ? liveMeshBytes(source) : null;
    if (!fetched && (!source || typeof source.data !== 'string')) {
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
        mesh.shape = decode(fetched || bytesOfBase64(source.data));
        mesh.triangles = countTriangles(mesh.shape);
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
