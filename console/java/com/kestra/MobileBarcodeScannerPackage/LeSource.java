package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.util.ArrayDeque;
import java.util.Arrays;

/**
 * An emulated scanner over Bluetooth LE, "le:SERVICE[:MTU]": it offers one of the serial services
 * such scanners use (nordic, microchip, ffe0 or tio) and agrees to an MTU of at most MTU (23, the
 * smallest, unless told: 20 bytes a notification). `scan TEXT` sends the text and a CR in
 * notifications as large as the agreed MTU allows; a TIO scanner sends one per credit and holds
 * the rest back until the peer grants more. `drop [TEXT]` sends the text without its end, then
 * lets the link drop as a scanner out of range does.
 *
 * The peer reads the notifications with its own reassembly and flow control (NotificationStream),
 * the same as over a phone's GATT client, and the console tells what the transport does: each
 * scan's notifications and each grant of credits.
 */
final class LeSource extends BarcodeSource {
    static final int SMALLEST_MTU = 23;
    static final int LARGEST_MTU = 517;
    private static final int ATTRIBUTE_HEADER = 3; // what a notification spends of the MTU
    private static final int OUT_OF_RANGE = 8; // the supervision timeout's status
    private static final long RECONNECT_WAIT_MS = 10000;
    private static final String[][] SERVICES = {
        {"nordic", "Nordic UART"}, {"microchip", "transparent UART"}, {"ffe0", "FFE0"}, {"tio", "TIO"}};

    // The open links, newest last: `scan` and `drop` send on the newest (a `test` of another
    // device connects and lets go meanwhile). Guarded by itself.
    private static final ArrayDeque<Link> open = new ArrayDeque<Link>();

    private final String service;
    private final String serviceName;
    private final int largestMtu;

    private LeSource(String service, String serviceName, int largestMtu) {
        this.service = service;
        this.serviceName = serviceName;
        this.largestMtu = largestMtu;
    }

    /** Reads "le:SERVICE[:MTU]"; throws IllegalArgumentException with the reason for anything else. */
    static LeSource parse(String text) {
        String[] parts = text.substring("le:".length()).split(":", -1);
        String serviceName = null;
        for (String[] known : SERVICES) {
            if (known[0].equals(parts[0])) {
                serviceName = known[1];
            }
        }
        if (serviceName == null || parts.length > 2) {
            throw new IllegalArgumentException("'" + text + "' names no emulated Bluetooth LE scanner (write"
                    + " le:SERVICE or le:SERVICE:MTU, SERVICE one of nordic, microchip, ffe0, tio)");
        }
        int mtu = SMALLEST_MTU;
        if (parts.length == 2) {
            mtu = parts[1].matches("[0-9]{1,3}") ? Integer.parseInt(parts[1]) : -1;
            if (mtu < SMALLEST_MTU || mtu > LARGEST_MTU) {
                throw new IllegalArgumentException("the MTU of '" + text + "' is not a number from " + SMALLEST_MTU
                        + " to " + LARGEST_MTU);
            }
        }
        return new LeSource(parts[0], serviceName, mtu);
    }

    @Override
    String describe() {
        return "le:" + service + (largestMtu == SMALLEST_MTU ? "" : ":" + largestMtu);
    }

    @Override
    SourceStream connect() {
        return connect(null);
    }

    @Override
    SourceStream connect(EmulatedDevice device) {
        // The peer asks for the MTU a phone asks for; the scanner agrees to what it can do.
        int mtu = Math.min(NotificationStream.MTU_WANTED, largestMtu);
        Link link = new Link(device, mtu, service.equals("tio"));
        MobileBarcodeScanner.trace("LE " + (device == null ? describe() : device.name) + " reads its " + serviceName
                + " service at MTU " + mtu);
        synchronized (open) {
            open.addLast(link);
        }
        return link;
    }

    private static Link newest() {
        synchronized (open) {
            return open.peekLast();
        }
    }

    /** Sends a barcode and its CR from the open LE scanner; false when none is open. */
    static boolean scan(String text) {
        Link link = newest();
        if (link == null) {
            return false;
        }
        link.send(KeyTyper.expandNames(text) + "\r", false);
        return true;
    }

    /**
     * Sends the text without its end from the open LE scanner, then drops its link; the peer
     * connects again by itself. Returns 0 when no LE scanner is open, 1 once the peer reads the
     * new link, 2 when it does not within 10 seconds.
     */
    static int drop(String text) throws InterruptedException {
        Link link = newest();
        if (link == null) {
            return 0;
        }
        link.send(KeyTyper.expandNames(text), true);
        long deadline = System.nanoTime() + RECONNECT_WAIT_MS * 1000000L;
        synchronized (open) {
            while (true) {
                Link now = open.peekLast();
                if (now != null && now != link && now.reading) {
                    return 1;
                }
                long left = (deadline - System.nanoTime()) / 1000000L;
                if (left <= 0) {
                    return 2;
                }
                open.wait(left);
            }
        }
    }

    /** One connection: the scanner's side (its credits, what it holds back) and the peer's stream. */
    private static final class Link extends NotificationStream {
        private final EmulatedDevice device;
        private final int mtu;
        private final boolean tio;
        private Charset charset = StandardCharsets.UTF_8;
        private volatile boolean reading; // the peer has started reading it

        // Under lock: the scanner's side.
        private int scannerCredits;
        private final ArrayDeque<byte[]> heldBack = new ArrayDeque<byte[]>();

        Link(EmulatedDevice device, int mtu, boolean tio) {
            this.device = device;
            this.mtu = mtu;
            this.tio = tio;
            if (tio) {
                synchronized (lock) {
                    countCredits();
                    scannerCredits = firstGrant();
                    grantAnswered(STATUS_SUCCESS);
                }
            }
            // A scanner set to a code page sends its bytes in it.
            ScannerOptions own = device == null ? null : device.options();
            if (own != null && own.codePage() != null) {
                charset = own.codePage();
            }
        }

        // Told before the notifications go, so that the line comes before the barcode's event.
        void send(String text, boolean thenDrop) {
            byte[] bytes = text.getBytes(charset);
            int payload = mtu - ATTRIBUTE_HEADER;
            int count = (bytes.length + payload - 1) / payload;
            synchronized (lock) {
                int held = !tio ? 0 : heldBack.isEmpty() ? Math.max(0, count - scannerCredits) : count;
                String sent = bytes.length + " bytes in " + notifications(count) + " of at most " + payload
                        + " bytes (MTU " + mtu + ")"
                        + (held > 0 ? ", " + held + " held back until the peer grants TIO credits" : "");
                tell(!thenDrop ? sent : (count > 0 ? sent + ", then " : "") + "the link dropped (out of range)");
                for (int at = 0; at < bytes.length; at += payload) {
                    byte[] notification = Arrays.copyOfRange(bytes, at, Math.min(bytes.length, at + payload));
                    if (!tio) {
                        notified(notification);
                    } else if (scannerCredits > 0 && heldBack.isEmpty()) {
                        scannerCredits--;
                        notified(notification);
                    } else {
                        heldBack.addLast(notification);
                    }
                }
                if (thenDrop) {
                    lost(OUT_OF_RANGE);
                }
            }
        }

        // The scanner takes the grant at once and sends what it held back.
        @Override
        boolean writeCredits(int count) {
            synchronized (lock) {
                scannerCredits += count;
                int released = Math.min(scannerCredits, heldBack.size());
                tell("the peer granted " + count + " TIO credits"
                        + (released > 0 ? "; " + notifications(released) + " held back are sent" : ""));
                for (int i = 0; i < released; i++) {
                    scannerCredits--;
                    notified(heldBack.removeFirst());
                }
                grantAnswered(STATUS_SUCCESS);
            }
            return true;
        }

        private static String notifications(int count) {
            return count + (count == 1 ? " notification" : " notifications");
        }

        private void tell(String text) {
            if (device != null) {
                device.tell("le", text);
            }
        }

        // A drop waits for the peer to read the link that replaced the dropped one.
        @Override
        int read(byte[] buffer) throws IOException {
            if (!reading) {
                reading = true;
                synchronized (open) {
                    open.notifyAll();
                }
            }
            return super.read(buffer);
        }

        @Override
        protected void wakeRead() {
            markClosed();
        }

        @Override
        protected void release() {
            markClosed();
            synchronized (open) {
                open.remove(this);
            }
        }
    }
}
