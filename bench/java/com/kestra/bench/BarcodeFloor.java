package com.kestra.bench;

/**
 * The least a barcode delivery can cost: natives of the benchmark's own library that read the
 * Java string, write it as a host short string and raise one external event. Called the same
 * way the peer calls SendBarcode: an instance native with a long and the text, in a Java loop.
 */
public final class BarcodeFloor {
    static {
        System.load(System.getProperty("kestra.bench.floor"));
    }

    private final long host;

    public BarcodeFloor(long host) {
        this.host = host;
    }

    public void deliverBarcodes(String barcode, int count) {
        for (int i = 0; i < count; i++) {
            Deliver(host, barcode);
        }
    }

    /** The same, with the four log lines the library must write per barcode. */
    public void deliverBarcodesWithTraceLines(String barcode, int count) {
        for (int i = 0; i < count; i++) {
            DeliverWithTraceLines(host, barcode);
        }
    }

    private native void Deliver(long host, String barcode);

    private native void DeliverWithTraceLines(long host, String barcode);
}
