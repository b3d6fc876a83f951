package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import java.util.function.Consumer;

/**
 * Opens a link on a thread of its own and gives up after a deadline, so that an open that blocks
 * (a terminal waiting for its connection, a FIFO, a hung network mount, a Bluetooth connect to a
 * scanner that does not answer) cannot hang the host's call. On giving up it aborts the open
 * where it can; what such an open returns after the deadline is released at once.
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

    private OpenDeadline() {}

    static <T> T open(String what, Opener<T> opener, Consumer<T> release) throws IOException {
        return open(what, SECONDS, opener, release, null);
    }

    /** Gives up after `seconds`; then runs abort (when not null) to end the blocked open. */
    static <T> T open(String what, int seconds, Opener<T> opener, Consumer<T> release, Runnable abort)
            throws IOException {
        CompletableFuture<T> result = new CompletableFuture<>();
        Thread thread = new Thread(() -> {
            try {
                T opened = opener.open();
                if (!result.complete(opened)) {
                    release.accept(opened);  // too late: the caller has given up
                }
            } catch (IOException | RuntimeException e) {
                result.completeExceptionally(e);
            }
        }, "opening " + what);
        thread.setDaemon(true);
        thread.start();
        try {
            return result.get(seconds, TimeUnit.SECONDS);
        } catch (TimeoutException e) {
            if (result.cancel(false)) {
                if (abort != null) {
                    abort.run();
                }
                throw new Expired("it did not open within " + seconds + " s");
            }
            return result.getNow(null);  // it opened just as the deadline passed
        } catch (ExecutionException e) {
            Throwable cause = e.getCause();
            if (cause instanceof IOException) {
                throw (IOException) cause;
            }
            throw new IOException(String.valueOf(cause.getMessage()));
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new IOException("interrupted while opening " + what);
        }
    }
}
