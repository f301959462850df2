// The languages and themes the configuration windows ask for beyond the editor's own.
'use strict';

function registerPlimsyLanguages(monaco) {
    monaco.languages.register({ id: 'dotenv' });
    monaco.languages.setMonarchTokensProvider('dotenv', {
        tokenizer: {
            root: [
                [/^\s*#.*$/, 'comment'],
                [/^(\s*)(export)(\s+)/, ['', 'keyword', '']],
                [/^(\s*)([A-Za-z_][\w.]*)(\s*)(=)/, ['', 'variable', '', { token: 'delimiter', next: '@value' }]],
                [/.+/, 'invalid'],
            ],
            // A value ends with its line (the next line starts at the root again).
            value: [
                [/^/, { token: '', next: '@pop' }],
                [/"/, { token: 'string.quote', next: '@doubleQuoted' }],
                [/'/, { token: 'string.quote', next: '@singleQuoted' }],
                [/\s+#.*$/, 'comment'],
                [/\$\{[^}]*\}/, 'variable.predefined'],
                // Only a whole value is a keyword or a number: 127.0.0.1 is one string.
                [/(true|false|null)(?![^\s#])/, 'keyword'],
                [/\d+(\.\d+)?(?![^\s#])/, 'number'],
                [/[^"'$#\s]+/, 'string'],
                [/./, 'string'],
            ],
            doubleQuoted: [
                [/\$\{[^}]*\}/, 'variable.predefined'],
                [/\\./, 'string.escape'],
                [/"/, { token: 'string.quote', next: '@popall' }],
                [/[^"\\$]+/, 'string'],
                [/./, 'string'],
            ],
            singleQuoted: [
                [/'/, { token: 'string.quote', next: '@popall' }],
                [/[^']+/, 'string'],
            ],
        },
    });

    monaco.languages.register({ id: 'nginx' });
    monaco.languages.setLanguageConfiguration('nginx', {
        comments: { lineComment: '#' },
        brackets: [['{', '}']],
        autoClosingPairs: [{ open: '{', close: '}' }, { open: '"', close: '"' }, { open: "'", close: "'" }],
    });
    monaco.languages.setMonarchTokensProvider('nginx', {
        blockKeywords: ['http', 'server', 'location', 'upstream', 'events', 'if', 'map', 'geo', 'types',
            'limit_except', 'stream', 'mail'],
        tokenizer: {
            root: [
                [/#.*$/, 'comment'],
                [/[{}]/, 'delimiter.bracket'],
                [/;/, 'delimiter'],
                [/"/, { token: 'string.quote', next: '@doubleQuoted' }],
                [/'/, { token: 'string.quote', next: '@singleQuoted' }],
                [/\$[\w]+/, 'variable'],
                [/^\s*[a-z_][\w]*/, { cases: { '@blockKeywords': 'keyword', '@default': 'type.identifier' } }],
                [/\b(on|off)\b/, 'keyword'],
                [/\b\d+[kKmMsShdw]?\b/, 'number'],
                [/[~^=*]+/, 'operator'],
                [/[^\s;{}#"'$]+/, 'string'],
            ],
            doubleQuoted: [
                [/\$[\w]+/, 'variable'],
                [/\\./, 'string.escape'],
                [/"/, { token: 'string.quote', next: '@pop' }],
                [/[^"\\$]+/, 'string'],
                [/./, 'string'],
            ],
            singleQuoted: [
                [/'/, { token: 'string.quote', next: '@pop' }],
                [/[^']+/, 'string'],
            ],
        },
    });

    const logLevels = [
        [/\b(EMERGENCY|ALERT|CRITICAL|CRIT|ERROR|ERR|FATAL|emerg|alert|crit|error)\b/, 'log.error'],
        [/\b(WARNING|WARN|warn|warning)\b/, 'log.warning'],
        [/\b(NOTICE|INFO|notice|info)\b/, 'log.info'],
        [/\b(DEBUG|TRACE|debug)\b/, 'log.debug'],
    ];
    monaco.languages.register({ id: 'log' });
    monaco.languages.setMonarchTokensProvider('log', {
        tokenizer: {
            root: [
                [/\[?\d{4}[-/]\d{2}[-/]\d{2}[ T]\d{2}:\d{2}:\d{2}(\.\d+)?([+-]\d{2}:?\d{2}|Z)?\]?/, 'log.date'],
                [/\d{1,2}\/[A-Z][a-z]{2}\/\d{4}:\d{2}:\d{2}:\d{2} [+-]\d{4}/, 'log.date'],
                ...logLevels,
                [/\b(GET|POST|PUT|PATCH|DELETE|HEAD|OPTIONS)\b/, 'keyword'],
                [/\b\d{1,3}(\.\d{1,3}){3}\b/, 'number'],
                [/\s[1-5]\d\d\s/, 'number'],
                [/"[^"]*"/, 'string'],
                [/#\d+/, 'number'],
            ],
        },
    });

    monaco.languages.register({ id: 'deploymentLog' });
    monaco.languages.setMonarchTokensProvider('deploymentLog', {
        tokenizer: {
            root: [
                [/^\s*\$ .*$/, 'log.command'],
                [/^\s*(Deploying|Cloning|Installing|Restarting|Running|Migrating|Building)\b.*$/, 'log.step'],
                [/\b(failed|fatal|error|exception|Error|Exception|FAILED|ERROR)\b.*$/, 'log.error'],
                [/\b(warning|Warning|WARNING|deprecated|Deprecated)\b/, 'log.warning'],
                [/\b(done|Done|DONE|success|Success|successfully|Finished|finished)\b/, 'log.success'],
                [/\[?\d{4}-\d{2}-\d{2}[ T]\d{2}:\d{2}:\d{2}\]?/, 'log.date'],
                [/\b[0-9a-f]{7,40}\b/, 'number'],
            ],
        },
    });

    const logRules = (dark) => [
        { token: 'log.date', foreground: dark ? '6A9955' : '098658' },
        { token: 'log.error', foreground: dark ? 'F48771' : 'CD3131', fontStyle: 'bold' },
        { token: 'log.warning', foreground: dark ? 'CCA700' : '9A6700' },
        { token: 'log.info', foreground: dark ? '4FC1FF' : '0070C1' },
        { token: 'log.debug', foreground: dark ? '808080' : '767676' },
        { token: 'log.command', foreground: dark ? 'C586C0' : 'AF00DB' },
        { token: 'log.step', foreground: dark ? '4FC1FF' : '0070C1', fontStyle: 'bold' },
        { token: 'log.success', foreground: dark ? '89D185' : '388A34' },
    ];
    for (const dark of [true, false]) {
        const base = dark ? 'vs-dark' : 'vs';
        const suffix = dark ? 'dark' : 'light';
        monaco.editor.defineTheme('log-' + suffix, { base, inherit: true, rules: logRules(dark), colors: {} });
        monaco.editor.defineTheme('deploymentLog-' + suffix, { base, inherit: true, rules: logRules(dark), colors: {} });
    }
    const atomOne = (name, base, colours) => monaco.editor.defineTheme(name, {
        base,
        inherit: true,
        rules: [
            { token: 'comment', foreground: colours.comment, fontStyle: 'italic' },
            { token: 'keyword', foreground: colours.keyword },
            { token: 'string', foreground: colours.string },
            { token: 'number', foreground: colours.number },
            { token: 'variable', foreground: colours.variable },
            { token: 'type.identifier', foreground: colours.type },
        ],
        colors: { 'editor.background': colours.background, 'editor.foreground': colours.foreground },
    });
    atomOne('atom-one-dark', 'vs-dark', {
        comment: '5C6370', keyword: 'C678DD', string: '98C379', number: 'D19A66', variable: 'E06C75',
        type: '61AFEF', background: '#282C34', foreground: '#ABB2BF',
    });
    atomOne('atom-one-light', 'vs', {
        comment: 'A0A1A7', keyword: 'A626A4', string: '50A14F', number: '986801', variable: 'E45649',
        type: '4078F2', background: '#FAFAFA', foreground: '#383A42',
    });
}
