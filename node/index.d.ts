// Lists of files on the clipboard of Windows and Linux desktops, through the
// program the package carries for each.
/// <reference types="node" />
import { EventEmitter } from 'node:events';

/** What a paste of the list is meant to do with the files. */
export type DropEffect = 'copy' | 'move' | 'link';

/** Which helper runs: one per program and launcher. */
export interface HelperOptions {
  /** The program to run; by default the package's own for this platform (Windows and Linux). */
  exePath?: string;
  /** A program and its arguments put before it, for example a Wine loader to run the Windows exe. */
  launcher?: readonly string[];
}

/** How one call waits. */
export interface CallOptions {
  /** How many more tries after the clipboard was busy; the default, 8, rides out about one second. */
  retries?: number;
  /**
   * How long the call may take, 30 s by default; it is this call's own, the calls around it keep theirs. Past
   * it the call rejects with 'ETIMEDOUT' and the helper working on it is replaced; an answer that helper still
   * gives within a second decides the call instead.
   */
  timeoutMs?: number;
}

export interface Options extends HelperOptions, CallOptions {}

export interface FileList {
  effect: DropEffect;
  files: string[];
  /** The clipboard's sequence number when the list was read. */
  sequence: number;
}

/** A change of the clipboard, by any program. */
export interface Change {
  sequence: number;
  /** Whether the clipboard now holds a file list. */
  hasFiles: boolean;
}

/**
 * One helper for a run of calls, started when first needed and again after it ended. It keeps Node alive
 * while a call is pending or a 'change' listener is there. Events: 'change' (the clipboard is watched while
 * a listener is there; once a call made after the listener was added has answered, every later change is
 * reported) and 'error' (a helper for the listeners could not start or watch; emitted only to listeners of
 * 'error', and tried again later).
 */
export interface Session extends EventEmitter {
  /** The process id of the helper that takes new calls, if one runs. */
  readonly pid: number | undefined;
  copyFiles(files: readonly string[], options?: CallOptions): Promise<void>;
  cutFiles(files: readonly string[], options?: CallOptions): Promise<void>;
  readFiles(options?: CallOptions): Promise<FileList | null>;
  /**
   * Lets the calls already made finish, then ends the helper; resolves once it has exited. A helper still serving
   * a paste finishes it, holding Node for a second at most. Later calls reject.
   */
  close(): Promise<void>;
  on(event: 'change', listener: (change: Change) => void): this;
  on(event: 'error', listener: (error: Error) => void): this;
  once(event: 'change', listener: (change: Change) => void): this;
  once(event: 'error', listener: (error: Error) => void): this;
  off(event: 'change', listener: (change: Change) => void): this;
  off(event: 'error', listener: (error: Error) => void): this;
}

/** A session of its own; its options are the defaults of its calls. */
export function openSession(options?: Options): Session;

/** Puts the files on the clipboard so that a paste in the file manager copies them. */
export function copyFiles(files: readonly string[], options?: Options): Promise<void>;

/** Puts the files on the clipboard so that a paste in the file manager moves them. */
export function cutFiles(files: readonly string[], options?: Options): Promise<void>;

/** The file list on the clipboard with its effect, or null when there is none. */
export function readFiles(options?: Options): Promise<FileList | null>;

/** Calls the listener with each change of the clipboard, and keeps Node alive, until the returned function is called. */
export function onChange(listener: (change: Change) => void, options?: HelperOptions): () => void;

/** A call that the exe refused or could not finish. */
export class ClipboardError extends Error {
  /** For 'ESESSIONLOST' the helper's exit status (null when a signal ended it); otherwise null. */
  readonly status: number | null;
  /** The N of "(os error N)" when a clipboard call failed: 5 when another program held the clipboard. */
  readonly osError?: number;
  /**
   * The exe's message for a refused request ("Clipboard error: … (os error N)"); for 'ESESSIONLOST' the
   * first line of the helper's fatal report, if it wrote one; otherwise the error's message.
   */
  readonly report: string;
  /** The end of what the helper wrote to standard error (empty unless it failed or was replaced). */
  readonly stderr: string;
  /**
   * Undefined when the exe refused the request; 'EBUSY' when another program held the clipboard and the
   * retries are spent; 'ETIMEDOUT' past timeoutMs; 'ESESSIONLOST' when the helper ended before it answered.
   */
  readonly code?: 'EBUSY' | 'ETIMEDOUT' | 'ESESSIONLOST';
}
