package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.util.HashMap;
import java.util.Map;

/**
 * Opens a link on a thread of its own and gives up after a deadline, so that an open that blocks
 * (a terminal waiting for its connection, a FIFO, a hung network mount, a Bluetooth connect to a
 * scanner that does not answer) cannot hang the host's call. On giving up it aborts the open
 * where it can; what such an open returns after the deadline is released at once.
 *
 * An open that cannot be aborted stays blocked in the system until it ends by itself. A later
 * open of the same thing does not start another thread beside it: it waits for that one again,
 * and takes what it opens if it ends in time. So there is never more than one thread per thing
 * opened, however often the host tries.
 *
 * An interrupt of the waiting thread aborts that one open and is not kept, so the host's thread
 * is not left interrupted for its next call.
 *
 * Only what Android has had since API 21: no CompletableFuture, no java.util.function.
 */
final class OpenDeadline {
    static final int SECONDS = 5;

    /** The open did not end within its deadline. */
    static final class Expired extends IOException {
        private static final long serialVersionUID = 1L;

        Expired(String message) {
            super(message);
        }
    }

    interface Opener<T> {
        T open() throws IOException;
    }

    interface Releaser<T> {
        void release(T opened);
    }

    /** Opens still blocked after their caller gave up and that nothing could abort, by what. */
    private static final Map<String, Attempt<?>> blocked = new HashMap<String, Attempt<?>>();

    private OpenDeadline() {}

    static <T> T open(String what, Opener<T> opener, Releaser<T> release) throws IOException {
        return open(what, SECONDS, opener, release, null);
    }

    /** Gives up after `seconds`; then runs abort (when not null) to end the blocked open. */
    static <T> T open(String what, int seconds, Opener<T> opener, Releaser<T> release, Runnable abort)
            throws IOException {
        Attempt<T> attempt = adoptBlocked(what);
        if (attempt == null) {
            attempt = new Attempt<T>(what, release);
            start(attempt, opener);
        }
        if (!attempt.await(seconds * 1000L)) {
            if (abort != null) {
                abort.run();
            } else {
                keepBlocked(attempt);
            }
            throw attempt.interrupted ? new IOException("interrupted while opening " + what)
                                      : new Expired("it did not open within " + seconds + " s");
        }
        return attempt.result();
    }

    private static <T> void start(final Attempt<T> attempt, final Opener<T> opener) {
        Thread thread = new Thread(new Runnable() {
            @Override
            public void run() {
                T opened = null;
                Throwable failure = null;
                try {
                    opened = opener.open();
                } catch (Throwable e) {
                    failure = e; // whatever it is, the caller learns it; this thread ends quietly
                }
                attempt.finish(opened, failure);
                synchronized (blocked) {
                    if (blocked.get(attempt.what) == attempt) {
                        blocked.remove(attempt.what);
                    }
                }
            }
        }, "opening " + attempt.what);
        thread.setDaemon(true);
        thread.start();
    }

    @SuppressWarnings("unchecked")
    private static <T> Attempt<T> adoptBlocked(String what) {
        Attempt<T> attempt;
        synchronized (blocked) {
            attempt = (Attempt<T>) blocked.remove(what);
        }
        return attempt != null && attempt.adopt() ? attempt : null;
    }

    private static void keepBlocked(Attempt<?> attempt) {
        synchronized (blocked) {
            if (!attempt.ended()) {
                blocked.put(attempt.what, attempt);
            }
        }
    }

    /** What the opening thread hands over, unless the caller has given up first. */
    private static final class Attempt<T> {
        final String what;
        private final Releaser<T> release;
        private boolean done;
        private boolean abandoned;
        private T opened;
        private Throwable failure;
        boolean interrupted; // by the waiting thread, read by it after await

        Attempt(String what, Releaser<T> release) {
            this.what = what;
            this.release = release;
        }

        /** Hands the outcome over, or releases what was opened when nobody waits any more. */
        void finish(T opened, Throwable failure) {
            synchronized (this) {
                done = true;
                if (!abandoned) {
                    this.opened = opened;
                    this.failure = failure;
                    notifyAll();
                    return;
                }
            }
            if (opened != null) {
                release.release(opened); // too late: the caller has given up
            }
        }

        synchronized boolean ended() {
            return done;
        }

        /** A later caller waits for this attempt again; false when it has ended meanwhile. */
        synchronized boolean adopt() {
            if (done) {
                return false;
            }
            abandoned = false;
            interrupted = false;
            return true;
        }

        /**
         * Waits for the open; false when the time ran out or the waiting thread was interrupted
         * before the open ended (before or during the wait: the interrupt is used up here), and
         * from then on the attempt is abandoned.
         */
        synchronized boolean await(long millis) {
            // An interrupt that came before the wait aborts it as well.
            interrupted = Thread.interrupted();
            long deadline = System.nanoTime() + millis * 1000000L;
            for (long left = millis; !done && !interrupted && left > 0; left = (deadline - System.nanoTime()) / 1000000L) {
                try {
                    wait(left);
                } catch (InterruptedException e) {
                    interrupted = true;
                    break;
                }
            }
            abandoned = !done;
            return done;
        }

        synchronized T result() throws IOException {
            if (failure instanceof IOException) {
                throw (IOException) failure;
            }
            if (failure instanceof RuntimeException) {
                throw new IOException(String.valueOf(failure.getMessage()));
            }
            if (failure != null) {
                throw new IOException(failure.toString()); // an Error, named as what it is
            }
            return opened;
        }
    }
}
