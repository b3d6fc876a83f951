package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;

/**
 * The thread of one open device: reads its link, frames the bytes into barcodes and hands each
 * on. When the link drops, or anything at all goes wrong on this thread (an uncaught exception
 * would end the app on Android), it reports why (and any fragment it dropped), closes the link
 * and ends. stopReading makes it hand nothing on any more and releases the link; awaitEnd then waits
 * for the thread, unless called on the thread itself (a host that closes the device from its
 * barcode handler), which must never wait for itself.
 */
final class BarcodeReader extends Thread {
    interface Listener {
        /** One barcode, on the reader's thread. */
        void barcode(String barcode);

        /** A line over the limit was refused; the reader goes on. */
        void refused(ScannerDevice device, long bytes);

        /** The link gave notice of something that does not end it; the reader goes on. */
        void notice(ScannerDevice device, String text);

        /** The link dropped, or reading failed; the reader ends after this returns. */
        void lost(ScannerDevice device, String reason);
    }

    private final ScannerDevice device;
    private final SourceStream stream;
    private final Listener listener;
    private final LineFramer framer;
    private volatile boolean stopping; // written by the host's thread, read by this one
    private volatile boolean dropped; // written by this thread, read by the host's

    BarcodeReader(ScannerDevice device, SourceStream stream, Listener listener) {
        super("scanner " + device.address);
        setDaemon(true);
        this.device = device;
        this.stream = stream;
        this.listener = listener;
        this.framer = new LineFramer(device.charset);
    }

    ScannerDevice device() {
        return device;
    }

    @Override
    public void run() {
        LineFramer.Sink sink = new LineFramer.Sink() {
            @Override
            public void line(String barcode) {
                // After stopReading nothing more is handed on: the device is being
                // closed, and the host may release its side right after CloseDevice returns.
                if (!stopping) {
                    listener.barcode(barcode);
                }
            }

            @Override
            public void refused(long bytes) {
                if (!stopping) {
                    listener.refused(device, bytes);
                }
            }
        };
        byte[] buffer = new byte[8192];
        try {
            while (!stopping) {
                int count = stream.read(buffer);
                String notice = stream.takeNotice();
                if (notice != null && !stopping) {
                    listener.notice(device, notice);
                }
                if (count < 0) {
                    linkDropped(stream.endReason());
                    break;
                }
                framer.feed(buffer, count, sink);
            }
        } catch (IOException e) {
            linkDropped(e.getMessage());
        } catch (Throwable e) {
            // From the transport or from handing a barcode on (a native that is not bound, an
            // exception the host left pending): the device counts as lost, never the app.
            linkDropped("reading stopped on an unexpected error: " + e);
        } finally {
            dropped = true;
            stream.close();
        }
    }

    private void linkDropped(String reason) {
        dropped = true;
        long fragment = framer.finish();
        if (stopping) {
            return;
        }
        if (fragment > 0) {
            reason += "; the " + fragment + " bytes received after the last line end were no whole barcode"
                    + " and were dropped";
        }
        try {
            listener.lost(device, reason);
        } catch (Throwable e) {
            // The reason is recorded before anything else is done with it; the thread ends anyway.
        }
    }

    /** True until the link drops, reading fails or stopReading is called. */
    boolean reading() {
        return !dropped && !stopping;
    }

    /**
     * From now on nothing is handed on, and the link is released; the thread ends soon after.
     * Never blocks, so it may be called under a lock and on the reader's own thread.
     */
    void stopReading() {
        stopping = true;
        stream.stop();
    }

    /**
     * Waits until the thread has ended, unless this is that thread. Holds no lock of its own:
     * the caller must hold none that the thread's listener may need. An interrupt ends the wait
     * (the reader hands nothing on any more all the same) and is not kept.
     */
    void awaitEnd() {
        if (Thread.currentThread() == this || Thread.interrupted()) {
            return;
        }
        try {
            join();
        } catch (InterruptedException e) {
            // The interrupt was for this wait alone.
        }
    }
}
