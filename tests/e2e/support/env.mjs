// Where things are: the source tree, the build folder with its programs, and
// playwright-core as tests/e2e/install-modules put it under the build folder.
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const sourceDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
export const buildDir = path.resolve(process.env.KESTROVA_BUILD_DIR || path.join(sourceDir, 'build'));
export const binDir = path.join(buildDir, 'bin');
export const templateDir = path.join(sourceDir, 'web', 'template');
export const modulesDir = process.env.KESTROVA_NODE_MODULES || path.join(buildDir, 'tests', 'e2e', 'node');

export function playwright() {
  return createRequire(path.join(modulesDir, 'package.json'))('playwright-core');
}
