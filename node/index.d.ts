// Lists of files on the Windows clipboard, through vantle_native.exe.

/** What a paste of the list is meant to do with the files. */
export type DropEffect = 'copy' | 'move' | 'link';

export interface Options {
  /** The exe to run; by default the one inside this package. */
  exePath?: string;
  /** A program and its arguments put before the exe, for example a Wine loader. */
  launcher?: readonly string[];
  /** How many more tries after the clipboard was busy; the default rides out about one second. */
  retries?: number;
  /** How long one run may take before it is ended and the promise rejected; 30 s by default. */
  timeoutMs?: number;
}

export interface FileList {
  effect: DropEffect;
  files: string[];
}

/** Puts the files on the clipboard so that a paste in the file manager copies them. */
export function copyFiles(files: readonly string[], options?: Options): Promise<void>;

/** Puts the files on the clipboard so that a paste in the file manager moves them. */
export function cutFiles(files: readonly string[], options?: Options): Promise<void>;

/** The file list on the clipboard with its effect, or null when there is none. */
export function readFiles(options?: Options): Promise<FileList | null>;

/** A run of the exe that failed; its report parsed. */
export class ClipboardError extends Error {
  /** The exe's exit status: 101 after a report. */
  readonly status: number | null;
  /** The number in "(os error N)", when the report has one. */
  readonly osError?: number;
  /** The report's first line. */
  readonly report: string;
  /** All that the exe wrote to standard error. */
  readonly stderr: string;
  /** 'EBUSY' when another program held the clipboard and the retries are spent. */
  code?: 'EBUSY';
}
