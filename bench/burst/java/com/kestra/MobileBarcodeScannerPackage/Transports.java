package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;

/**
 * The burst benchmark's transport: one scanner whose link is an in-memory byte queue, so that a
 * batch replay measures the peer's reader, framing and decoding and the library, not a device.
 */
final class Transports {
    static final String ADDRESS = "00:00:00:00:00:01";

    private Transports() {}

    static Transport create(Activity activity) {
        return new Transport() {
            @Override
            public void prepare() {}

            @Override
            public List<ScannerDevice> devices(List<String> problems) {
                List<ScannerDevice> devices = new ArrayList<ScannerDevice>();
                devices.add(new BenchScanner());
                return devices;
            }

            @Override
            public ScannerDevice find(String address) throws IOException {
                if (!ADDRESS.equalsIgnoreCase(address)) {
                    throw new IOException("the benchmark has no scanner " + address);
                }
                return new BenchScanner();
            }
        };
    }

    private static final class BenchScanner extends ScannerDevice {
        BenchScanner() {
            super(ADDRESS, "Burst scanner");
        }

        @Override
        SourceStream connect() {
            return BenchLink.open();
        }
    }
}
