package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;

/**
 * The thread of one open device: reads its link, frames the bytes into barcodes and hands each
 * on. When the link drops it reports why (and any fragment it dropped) and ends; shutdown stops
 * it and waits for it, so that once shutdown returns this reader hands nothing on any more.
 */
final class BarcodeReader extends Thread {
    interface Listener {
        /** One barcode, on the reader's thread. */
        void barcode(ScannerDevice device, String barcode);

        /** A line over the limit was refused; the reader goes on. */
        void refused(ScannerDevice device, long bytes);

        /** The link dropped; the reader ends after this returns. */
        void lost(ScannerDevice device, String reason);
    }

    private final ScannerDevice device;
    private final SourceStream stream;
    private final Listener listener;
    private final LineFramer framer;
    private final int idleGapMillis; // 0 under line framing
    private volatile boolean stopping; // written by the host's thread, read by this one
    private volatile boolean dropped; // written by this thread, read by the host's

    BarcodeReader(ScannerDevice device, ScannerOptions options, SourceStream stream, Listener listener) {
        super("scanner " + device.address);
        setDaemon(true);
        this.device = device;
        this.idleGapMillis = options.idleGapMillis();
        // Idle-gap framing waits for bytes with a time limit, which a link's own read cannot.
        this.stream = idleGapMillis > 0 ? new TimedStream(stream, "scanner link " + device.address) : stream;
        this.listener = listener;
        this.framer = new LineFramer(options.codePage(), idleGapMillis > 0);
    }

    ScannerDevice device() {
        return device;
    }

    @Override
    public void run() {
        LineFramer.Sink sink = new LineFramer.Sink() {
            @Override
            public void line(String barcode) {
                // After shutdown has begun nothing more is handed on: the device is being
                // closed, and the host may release its side right after CloseDevice returns.
                if (!stopping) {
                    listener.barcode(device, barcode);
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
                int count = framer.awaitingGap() ? ((TimedStream) stream).readWithin(buffer, idleGapMillis)
                                                 : stream.read(buffer);
                if (count < 0) {
                    linkDropped(stream.endReason(), sink);
                    break;
                }
                if (count == 0 && framer.awaitingGap() && !stopping) {
                    framer.gapElapsed(sink);
                }
                framer.feed(buffer, count, sink);
            }
        } catch (IOException e) {
            linkDropped(e.getMessage(), sink);
        } finally {
            stream.close();
        }
    }

    private void linkDropped(String reason, LineFramer.Sink sink) {
        long fragment = framer.finish(sink);
        dropped = true;
        if (stopping) {
            return;
        }
        if (fragment > 0) {
            reason += "; the " + fragment + " bytes received after the last line end were no whole barcode"
                    + " and were dropped";
        }
        listener.lost(device, reason);
    }

    /** True until the link drops or shutdown is called. */
    boolean reading() {
        return !dropped && !stopping;
    }

    /** Stops the thread and waits until it has ended. */
    void shutdown() {
        stopping = true;
        stream.stop();
        boolean interrupted = false;
        while (isAlive()) {
            try {
                join();
            } catch (InterruptedException e) {
                interrupted = true;
            }
        }
        if (interrupted) {
            Thread.currentThread().interrupt();
        }
    }
}
