// Starts the page once the document is parsed, and closes the function begin.js opens.

if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', startSafely);
} else {
    startSafely();
}
})();
