package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;

/**
 * Several transports offered as one: each kind of scanner keeps its addresses apart by a prefix
 * of its own ("hid:", "ble:"), and the kind whose addresses have no prefix (serial-port scanners,
 * whose stored settings predate the others) takes every address no other kind claims. The device
 * list names the kind after each device of a labelled kind, so the user can tell them apart.
 */
final class KindsOfScanner implements Transport {
    private static final class Kind {
        final String prefix; // lower case; empty for the kind that takes the rest
        final String label; // shown after each device's name; null for none
        final Transport transport;

        Kind(String prefix, String label, Transport transport) {
            this.prefix = prefix.toLowerCase(Locale.ROOT);
            this.label = label;
            this.transport = transport;
        }
    }

    private final List<Kind> kinds = new ArrayList<Kind>();

    /** Adds a kind; the first added with a given prefix wins. Returns this, for chaining. */
    KindsOfScanner add(String prefix, String label, Transport transport) {
        kinds.add(new Kind(prefix, label, transport));
        return this;
    }

    @Override
    public void prepare() {
        for (Kind kind : kinds) {
            kind.transport.prepare();
        }
    }

    @Override
    public List<ScannerDevice> devices(List<String> problems) {
        List<ScannerDevice> devices = new ArrayList<ScannerDevice>();
        for (Kind kind : kinds) {
            List<String> found = new ArrayList<String>();
            for (ScannerDevice device : kind.transport.devices(found)) {
                devices.add(kind.label == null ? device : new Labelled(device, kind.label));
            }
            // Kinds that share the phone's Bluetooth share its problems (switched off, say): once.
            for (String problem : found) {
                if (!problems.contains(problem)) {
                    problems.add(problem);
                }
            }
        }
        return devices;
    }

    @Override
    public ScannerDevice find(String address) throws IOException {
        return kindOf(address).transport.find(address);
    }

    /** The kind whose prefix the address starts with (ignoring case), the longest first. */
    private Kind kindOf(String address) throws IOException {
        String lower = address.toLowerCase(Locale.ROOT);
        Kind best = null;
        for (Kind kind : kinds) {
            if (lower.startsWith(kind.prefix) && (best == null || kind.prefix.length() > best.prefix.length())) {
                best = kind;
            }
        }
        if (best == null) {
            throw new IOException("no kind of scanner has addresses like '" + address + "'");
        }
        return best;
    }

    /** A device of a labelled kind, as the list shows it; connects as the device itself does. */
    private static final class Labelled extends ScannerDevice {
        private final ScannerDevice device;

        Labelled(ScannerDevice device, String label) {
            super(device.address, device.name + " (" + label + ")", device.charset);
            this.device = device;
        }

        @Override
        SourceStream connect() throws IOException {
            return device.connect();
        }

        @Override
        void abandonConnect() {
            device.abandonConnect();
        }

        @Override
        ScannerOptions options() {
            return device.options();
        }

        @Override
        Incoming listen() throws IOException {
            return device.listen();
        }

        @Override
        void tell(String what, String text) {
            device.tell(what, text);
        }
    }
}
