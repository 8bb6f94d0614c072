// Checks one .glb with the Khronos glTF validator. Prints every issue, one
// per line, then a summary; exits 1 when the validator reports an error or
// cannot read the file, 2 on bad usage.
'use strict';
const fs = require('fs');
const validator = require('gltf-validator');

if (process.argv.length !== 3) {
    console.error('usage: node validate.js FILE.glb');
    process.exit(2);
}
const file = process.argv[2];

validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {uri: file, maxIssues: 0})
    .then((report) => {
        const severities = ['error', 'warning', 'info', 'hint'];
        for (const message of report.issues.messages) {
            console.log(`${severities[message.severity]} ${message.code} ${message.pointer || ''}: ` +
                        message.message);
        }
        const issues = report.issues;
        console.log(`errors ${issues.numErrors} warnings ${issues.numWarnings} ` +
                    `infos ${issues.numInfos} hints ${issues.numHints}`);
        process.exit(issues.numErrors === 0 ? 0 : 1);
    })
    .catch((error) => {
        console.error(`validator failed: ${error}`);
        process.exit(1);
    });
