package com.kestra.stress;

import com.kestra.MobileBarcodeScannerPackage.MobileBarcodeScanner;

/** The Java side of the soak: a thread that sends a run of numbered barcodes, and the heap. */
public final class Soak {
    private Soak() {}

    private static Thread runner;

    /** Starts a thread that sends "s&lt;n&gt;" for n from first on, count barcodes in all. */
    public static synchronized void startRun(MobileBarcodeScanner peer, int first, int count) {
        Thread thread = new Thread(() -> {
            long recorder = peer.recorder();
            for (int n = first; n < first + count; n++) {
                peer.SendBarcode(recorder, "s" + n);
            }
        }, "soak sender");
        thread.start();
        runner = thread;
    }

    /** Waits until the run's thread has sent its last barcode. */
    public static void awaitRun() throws InterruptedException {
        Thread thread;
        synchronized (Soak.class) {
            thread = runner;
            runner = null;
        }
        if (thread != null) {
            thread.join();
        }
    }

    /** Bytes of the heap in use after full collections (the least of a few, to cut noise). */
    public static long usedHeapAfterGc() {
        Runtime runtime = Runtime.getRuntime();
        long least = Long.MAX_VALUE;
        for (int i = 0; i < 5; i++) {
            System.gc();
            least = Math.min(least, runtime.totalMemory() - runtime.freeMemory());
        }
        return least;
    }
}
