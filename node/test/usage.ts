// Compiled with tsc --noEmit: the declarations describe the package's API.
import { ClipboardError, copyFiles, cutFiles, readFiles, type DropEffect, type Options } from '..';

const options: Options = { exePath: 'C:\\apps\\vantle_native.exe', launcher: ['wine'], retries: 3, timeoutMs: 5000 };

async function usage(): Promise<void> {
  await copyFiles(['C:\\a.txt'], options);
  await cutFiles(['C:\\a.txt', 'C:\\b.txt']);
  const list = await readFiles();
  if (list !== null) {
    const effect: DropEffect = list.effect;
    const first: string | undefined = list.files[0];
    void effect;
    void first;
  }
  try {
    await readFiles({ retries: 0 });
  } catch (error) {
    if (error instanceof ClipboardError && error.code === 'EBUSY') {
      const status: number | null = error.status;
      const osError: number | undefined = error.osError;
      void [status, osError, error.report, error.stderr];
    }
  }
}

// @ts-expect-error: the list is an array of strings
void copyFiles('C:\\a.txt');
// @ts-expect-error: no such effect
const wrong: DropEffect = 'delete';
void wrong;
void usage;
