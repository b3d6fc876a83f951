package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;

/** The open connection to one emulated scanner's barcode source. */
interface SourceStream {
    /**
     * Blocks until bytes arrive and returns their count; -1 when the source ended (then
     * endReason says why). Throws when the connection is lost. Returns 0 once stop was called.
     */
    int read(byte[] buffer) throws IOException;

    /** Makes a blocked read return; called from another thread. */
    void stop();

    /** Releases the connection; called by the reading thread when it is done. */
    void close();

    /** Why the source ended, in words. */
    String endReason();
}
