// Checks .glb files with the Khronos glTF validator. Prints every issue, one
// per line, and a summary per file; exits 1 when the validator reports an
// error in any file or cannot read one, 2 on bad usage.
'use strict';
const fs = require('fs');
const validator = require('gltf-validator');

const files = process.argv.slice(2);
if (files.length === 0) {
    console.error('usage: node validate.js FILE.glb...');
    process.exit(2);
}

const severities = ['error', 'warning', 'info', 'hint'];

async function check(file) {
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)),
                                                 {uri: file, maxIssues: 0});
    for (const message of report.issues.messages) {
        console.log(`${file}: ${severities[message.severity]} ${message.code} ` +
                    `${message.pointer || ''}: ${message.message}`);
    }
    const issues = report.issues;
    console.log(`${file}: errors ${issues.numErrors} warnings ${issues.numWarnings} ` +
                `infos ${issues.numInfos} hints ${issues.numHints}`);
    return issues.numErrors === 0;
}

(async () => {
    let ok = true;
    for (const file of files) {
        try {
            ok = (await check(file)) && ok;
        } catch (error) {
            console.log(`${file}: validator failed: ${error}`);
            ok = false;
        }
    }
    process.exit(ok ? 0 : 1);
})();
