package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import java.io.IOException;
import java.util.ArrayList;
import java.util.List;

/** The console's transport: the emulated scanners of the device configuration (DeviceConfig). */
final class Transports {
    private Transports() {}

    static Transport create(Activity activity) {
        return new Emulated(activity);
    }

    private static final class Emulated implements Transport {
        private final Activity activity;

        Emulated(Activity activity) {
            this.activity = activity;
        }

        @Override
        public void prepare() {
            MobileBarcodeScanner.trace(
                    "Emulated scanner shown in " + (activity == null ? "no activity" : activity.getTitle()));
        }

        // The configuration is read afresh at every call, so edits apply at once.
        @Override
        public List<ScannerDevice> devices(List<String> problems) {
            DeviceConfig config = DeviceConfig.load();
            problems.addAll(config.problems);
            return new ArrayList<ScannerDevice>(config.devices);
        }

        @Override
        public ScannerDevice find(String address) throws IOException {
            DeviceConfig config = DeviceConfig.load();
            EmulatedDevice device = config.find(address);
            if (device != null) {
                return device;
            }
            String problems = config.problems.isEmpty() ? "" : " (" + String.join("; ", config.problems) + ")";
            throw new IOException("no emulated scanner has the address '" + address + "'" + problems);
        }
    }
}
