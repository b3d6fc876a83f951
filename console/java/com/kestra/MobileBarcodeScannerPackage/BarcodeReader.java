package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.util.function.BiConsumer;
import java.util.function.Consumer;

/**
 * The thread of one open device: reads its source, cuts the bytes into lines and hands each
 * line on as one barcode. When the source ends or the connection is lost it reports why and
 * ends; shutdown stops it and waits for it.
 */
final class BarcodeReader extends Thread {
    private final SourceStream stream;
    private final Consumer<String> barcodes;
    private final BiConsumer<BarcodeReader, String> lost;
    private volatile boolean stopping;

    BarcodeReader(EmulatedDevice device, SourceStream stream, Consumer<String> barcodes,
            BiConsumer<BarcodeReader, String> lost) {
        super("emulated-scanner " + device.address);
        setDaemon(true);
        this.stream = stream;
        this.barcodes = barcodes;
        this.lost = lost;
    }

    @Override
    public void run() {
        LineSplitter splitter = new LineSplitter();
        byte[] buffer = new byte[8192];
        try {
            while (!stopping) {
                int count = stream.read(buffer);
                if (stopping) {
                    break;
                }
                if (count < 0) {
                    splitter.finish(this::deliver);
                    lost.accept(this, stream.endReason());
                    break;
                }
                splitter.feed(buffer, count, this::deliver);
            }
        } catch (IOException e) {
            if (!stopping) {
                lost.accept(this, e.getMessage());
            }
        } finally {
            stream.close();
        }
    }

    // After shutdown has begun nothing more is delivered: the device is being closed, and the
    // host may release its side right after CloseDevice returns.
    private void deliver(String barcode) {
        if (!stopping) {
            barcodes.accept(barcode);
        }
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
