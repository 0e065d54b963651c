// The page's panels: title and notes, layer toggles, joint sliders and the clicked body's facts.
// Every name goes in as text.

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
    ['corvane-toggles', 'corvane-joints', 'corvane-notes'].forEach(function(id) {
        var node = document.getElementById(id);
        while (node && node.firstChild) node.removeChild(node.firstChild);
    });
    this.buildFindings();
    this.buildStatus(scene);
    this.buildToggles();
    this.buildJoints();
};

// "FILE:LINE" of a finding or a step, "FILE" without a line.
function placeText(item) {
    var file = textOf(item.file);
    return typeof item.line === 'number' ? file + ':' + item.line : file;
}

function findingText(finding) {
    return textOf(finding.severity) + ' ' + textOf(finding.rule) + ': ' + textOf(finding.message);
}

// The findings' look, put in by the script so that a page without findings keeps its markup.
function addFindingStyles() {
    if (document.getElementById('corvane-finding-styles')) return;
    var style = element('style');
    style.id = 'corvane-finding-styles';
    style.textContent = '.corvane-finding { cursor: pointer; padding: 1px 0; }\n' +
        '.corvane-finding:hover { background: #eef2f6; }\n' +
        '.corvane-finding-error > span:first-child { color: #b02a37; }\n' +
        '.corvane-finding-warning > span:first-child { color: #9a6200; }\n' +
        '.corvane-finding-note > span:first-child { color: #52606d; }\n' +
        '.corvane-place { color: #52606d; font-family: ui-monospace, monospace; }\n' +
        '#corvane-notes { max-height: 45%; }';
    document.head.appendChild(style);
}

// The checks' findings, errors first as --check orders them within each body: severity, rule,
// message and place; a click selects the body and turns the camera to it.
Panels.prototype.buildFindings = function() {
    var notes = document.getElementById('corvane-notes');
    var findings = this.viewer.findings;
    if (!notes || findings.length === 0) return;
    addFindingStyles();
    var viewer = this.viewer;
    var section = element('details', null, 'corvane-note');
    section.id = 'corvane-findings';
    section.open = true;
    var counts = {error: 0, warning: 0, note: 0};
    findings.forEach(function(finding) { counts[finding.severity] += 1; });
    section.appendChild(element(
        'summary',
        'Findings (' + counts.error + ' errors, ' + counts.warning + ' warnings' +
            (counts.note ? ', ' + counts.note + ' notes' : '') + ')'));
    var list = element('ul');
    findings.forEach(function(finding) {
        var item =
            element('li', null, 'corvane-finding corvane-finding-' + textOf(finding.severity));
        item.appendChild(element('span', findingText(finding)));
        item.appendChild(element('span', ' ' + placeText(finding), 'corvane-place'));
        if (finding.bodyIndex >= 0) {
            item.title = 'Show ' + textOf(finding.body);
            item.addEventListener('click', function() { viewer.showFinding(finding); });
        }
        list.appendChild(item);
    });
    section.appendChild(list);
    notes.appendChild(section);
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
        inertia: 'Inertia boxes',
        names: 'Names',
        findings: 'Findings'
    };
    var toggles = viewer.drawing.layers.slice();
    if (viewer.scene.findings !== undefined) toggles.push('findings');
    toggles.forEach(function(layer) {
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
    // Assigned rather than added: a live page builds its panels again for each new robot.
    if (filter) {
        filter.oninput = function() {
            var wanted = filter.value.toLowerCase();
            self.sliders.forEach(function(
                row) { row.row.hidden = row.name.toLowerCase().indexOf(wanted) < 0; });
        };
        if (filter.value) filter.oninput();
    }
    var resetAll = document.getElementById('corvane-reset-all');
    if (resetAll) resetAll.onclick = function() { viewer.resetJoints(); };
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
    var findings =
        this.viewer.findings.filter(function(finding) { return finding.bodyIndex === index; })
            .map(function(
                finding) { return findingText(finding) + ' (' + placeText(finding) + ')'; });
    if (findings.length > 0) appendSection(info, 'Findings', findings);
};

function appendSection(container, title, items) {
    container.appendChild(element('h3', title + ' (' + items.length + ')'));
    var list = element('ul');
    items.forEach(function(item) { list.appendChild(element('li', item)); });
    container.appendChild(list);
}
