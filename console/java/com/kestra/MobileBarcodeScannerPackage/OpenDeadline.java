package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import java.util.function.Consumer;

/**
 * Opens a source on a thread of its own and gives up after a few seconds, so that a path whose
 * open blocks (a terminal waiting for its connection, a FIFO, a hung network mount) cannot hang
 * the host's call. What such an open returns after the deadline is released at once.
 */
final class OpenDeadline {
    static final int SECONDS = 5;

    interface Opener<T> {
        T open() throws IOException;
    }

    private OpenDeadline() {}

    static <T> T open(String what, Opener<T> opener, Consumer<T> release) throws IOException {
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
            return result.get(SECONDS, TimeUnit.SECONDS);
        } catch (TimeoutException e) {
            if (result.cancel(false)) {
                throw new IOException("it did not open within " + SECONDS + " s");
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
