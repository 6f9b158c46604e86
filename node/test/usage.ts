// Compiled with tsc --noEmit: the declarations describe the package's API.
import {
  ClipboardError, copyFiles, cutFiles, onChange, openSession, readFiles,
  type Change, type DropEffect, type Options, type Session,
} from '..';

const options: Options = { exePath: 'C:\\apps\\vantle_native.exe', launcher: ['wine'], retries: 3, timeoutMs: 5000 };

async function usage(): Promise<void> {
  await copyFiles(['C:\\a.txt'], options);
  await cutFiles(['C:\\a.txt', 'C:\\b.txt']);
  const list = await readFiles();
  if (list !== null) {
    const effect: DropEffect = list.effect;
    const first: string | undefined = list.files[0];
    const sequence: number = list.sequence;
    void [effect, first, sequence];
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

async function sessionUsage(): Promise<void> {
  const session: Session = openSession({ launcher: ['wine'] });
  session.on('change', (change: Change) => {
    const hasFiles: boolean = change.hasFiles;
    void [hasFiles, change.sequence];
  });
  session.once('error', (error: Error) => void error.message);
  await session.copyFiles(['C:\\a.txt'], { timeoutMs: 1000 });
  const list = await session.readFiles({ retries: 0 });
  const pid: number | undefined = session.pid;
  void [list?.sequence, pid];
  await session.close();
  const stop: () => void = onChange(({ sequence }) => void sequence, { launcher: ['wine'] });
  stop();
}

// @ts-expect-error: the list is an array of strings
void copyFiles('C:\\a.txt');
// @ts-expect-error: no such effect
const wrong: DropEffect = 'delete';
// @ts-expect-error: a change has no file list
onChange((change) => void change.files);
// @ts-expect-error: a session's calls take no exe of their own
void openSession().readFiles({ exePath: 'C:\\other.exe' });
void wrong;
void usage;
void sessionUsage;
