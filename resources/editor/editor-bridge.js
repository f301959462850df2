// The page's side of the host protocol: global functions the host calls, and the messages it posts
// back through window.webkit.messageHandlers (which the host injects before this script runs).
'use strict';

(function () {
    let editor = null;
    // While the host replaces the text, changes are not the user's.
    let applyingValue = false;
    // The text exactly as the host gave it, and the model version that shows it unedited: the model
    // keeps one line ending for the whole text, so an unedited text goes back as it came, and an edited
    // one with plain line feeds, to which the host gives back each line's own ending.
    let loadedText = null;
    let loadedVersion = -1;

    function post(name) {
        const handlers = window.webkit && window.webkit.messageHandlers;
        const handler = handlers && handlers[name];
        if (handler) {
            handler.postMessage({});
        }
    }

    window.setValue = function (text) {
        if (!editor || typeof text !== 'string') {
            return;
        }
        const model = editor.getModel();
        applyingValue = true;
        try {
            model.setValue(text);
        } finally {
            applyingValue = false;
        }
        loadedText = text;
        loadedVersion = model.getAlternativeVersionId();
    };

    window.getValue = function () {
        if (!editor) {
            return null;
        }
        const model = editor.getModel();
        if (loadedText !== null && model.getAlternativeVersionId() === loadedVersion) {
            return loadedText;
        }
        return model.getValue(monaco.editor.EndOfLinePreference.LF, true);
    };

    window.setLanguage = function (language) {
        if (!editor) {
            return;
        }
        const known = monaco.languages.getLanguages().some((entry) => entry.id === language);
        monaco.editor.setModelLanguage(editor.getModel(), known ? language : 'plaintext');
    };

    window.setTheme = function (theme) {
        if (editor) {
            monaco.editor.setTheme(theme);
        }
    };

    window.setReadOnly = function (readOnly) {
        if (editor) {
            editor.updateOptions({ readOnly: !!readOnly });
        }
    };

    window.setLineNumbers = function (shown) {
        if (editor) {
            editor.updateOptions({ lineNumbers: shown ? 'on' : 'off', lineDecorationsWidth: shown ? 10 : 4 });
        }
    };

    function runAction(id) {
        if (!editor) {
            return;
        }
        editor.focus();
        const action = editor.getAction(id);
        if (action) {
            action.run();
        }
    }

    window.showFind = function () {
        runAction('actions.find');
    };

    window.showFindReplace = function () {
        runAction('editor.action.startFindReplaceAction');
    };

    window.scrollToBottom = function () {
        if (editor) {
            editor.revealLine(editor.getModel().getLineCount());
        }
    };

    // The host's context menu runs these; the editor keeps its own undo history and clipboard handling.
    window.runEditorCommand = function (command) {
        if (!editor) {
            return;
        }
        editor.focus();
        if (command === 'selectAll') {
            editor.setSelection(editor.getModel().getFullModelRange());
        } else if (command === 'undo' || command === 'redo') {
            editor.trigger('contextMenu', command, null);
        }
    };

    // An absolute address: the editor's worker is started from it too, and a relative one would be taken
    // from the root of the file system there.
    require.config({ paths: { vs: new URL('vs', document.baseURI).href } });
    require(['vs/editor/editor.main'], function () {
        registerPlimsyLanguages(monaco);
        editor = monaco.editor.create(document.getElementById('container'), {
            value: '',
            language: 'plaintext',
            theme: 'vs',
            automaticLayout: true,
            minimap: { enabled: false },
            scrollBeyondLastLine: false,
            // The host draws the context menu.
            contextmenu: false,
            // Line and paragraph separators are text here, never something to offer to remove.
            unusualLineTerminators: 'off',
            fontSize: 13,
        });
        editor.onDidChangeModelContent(function (event) {
            if (!applyingValue && !event.isFlush) {
                post('contentChanged');
            }
        });
        editor.addCommand(monaco.KeyMod.CtrlCmd | monaco.KeyCode.KeyS, function () {
            post('save');
        });
        editor.addCommand(monaco.KeyMod.CtrlCmd | monaco.KeyCode.KeyW, function () {
            post('close');
        });
        editor.addCommand(monaco.KeyMod.CtrlCmd | monaco.KeyCode.KeyR, function () {
            post('reload');
        });
        post('editorReady');
    });
})();
