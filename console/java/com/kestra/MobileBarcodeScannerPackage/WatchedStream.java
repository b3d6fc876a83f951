package com.kestra.MobileBarcodeScannerPackage;

import com.kestra.console.LinkWatch;
import java.io.IOException;

/**
 * The link to an emulated scanner as the console keeps it: the source's own link, and a line at
 * the console the moment it is lost (not when the device is closed).
 */
final class WatchedStream extends SourceStream {
    private final ScannerDevice device;
    private final SourceStream link;

    WatchedStream(ScannerDevice device, SourceStream link) {
        this.device = device;
        this.link = link;
    }

    @Override
    int read(byte[] buffer) throws IOException {
        try {
            int count = link.read(buffer);
            if (count < 0 && !stopped()) {
                LinkWatch.lost(device.label(), link.endReason());
            }
            return count;
        } catch (IOException e) {
            if (!stopped()) {
                LinkWatch.lost(device.label(), e.getMessage());
            }
            throw e;
        }
    }

    @Override
    String endReason() {
        return link.endReason();
    }

    @Override
    protected void wakeRead() {
        link.stop();
    }

    @Override
    protected void release() {
        link.close();
    }
}
