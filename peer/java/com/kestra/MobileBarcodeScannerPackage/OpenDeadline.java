package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;

/**
 * Opens a link on a thread of its own and gives up after a deadline, so that an open that blocks
 * (a terminal waiting for its connection, a FIFO, a hung network mount, a Bluetooth connect to a
 * scanner that does not answer) cannot hang the host's call. On giving up it aborts the open
 * where it can; what such an open returns after the deadline is released at once.
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

    private OpenDeadline() {}

    static <T> T open(String what, Opener<T> opener, Releaser<T> release) throws IOException {
        return open(what, SECONDS, opener, release, null);
    }

    /** Gives up after `seconds`; then runs abort (when not null) to end the blocked open. */
    static <T> T open(String what, int seconds, final Opener<T> opener, final Releaser<T> release, Runnable abort)
            throws IOException {
        final Attempt<T> attempt = new Attempt<T>();
        Thread thread = new Thread(() -> {
            T opened = null;
            IOException failure = null;
            try {
                opened = opener.open();
            } catch (IOException e) {
                failure = e;
            } catch (RuntimeException e) {
                failure = new IOException(String.valueOf(e.getMessage()));
            }
            if (!attempt.finish(opened, failure) && opened != null) {
                release.release(opened); // too late: the caller has given up
            }
        }, "opening " + what);
        thread.setDaemon(true);
        thread.start();
        if (!attempt.await(seconds * 1000L)) {
            if (abort != null) {
                abort.run();
            }
            throw attempt.interrupted ? new IOException("interrupted while opening " + what)
                                      : new Expired("it did not open within " + seconds + " s");
        }
        return attempt.result();
    }

    /** What the opening thread hands over, unless the caller has given up first. */
    private static final class Attempt<T> {
        private boolean done;
        private boolean abandoned;
        private T opened;
        private IOException failure;
        boolean interrupted; // by the waiting thread, read by it after await

        /** False when the caller has given up: then the opener releases what it opened. */
        synchronized boolean finish(T opened, IOException failure) {
            if (abandoned) {
                return false;
            }
            this.opened = opened;
            this.failure = failure;
            done = true;
            notifyAll();
            return true;
        }

        /**
         * Waits for the open; false when the time ran out or the waiting thread was interrupted
         * (its interrupt is kept), and from then on the attempt is abandoned.
         */
        synchronized boolean await(long millis) {
            long deadline = System.nanoTime() + millis * 1000000L;
            for (long left = millis; !done && left > 0; left = (deadline - System.nanoTime()) / 1000000L) {
                try {
                    wait(left);
                } catch (InterruptedException e) {
                    interrupted = true;
                    Thread.currentThread().interrupt();
                    break;
                }
            }
            abandoned = !done;
            return done;
        }

        synchronized T result() throws IOException {
            if (failure != null) {
                throw failure;
            }
            return opened;
        }
    }
}
