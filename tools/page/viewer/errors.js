// Errors and warnings caught on the page, for the report and the page's notes. Runs first, so
// that it catches what every later script (three.js among them) reports.

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
