package com.kestra.MobileBarcodeScannerPackage;

import com.kestra.console.InputEvents;
import java.io.IOException;
import java.nio.file.Path;

/**
 * A real scanner in keyboard mode plugged into the desk: its Linux input event device, taken for
 * the console alone so that its keys do not type into the terminal, decoded by the scanner's
 * layout as on a phone (Linux key codes are the positions Android reports as scan codes). A
 * file of recorded events plays a scanner the same way, to its end.
 */
final class InputEventSource extends BarcodeSource {
    private static final int EV_KEY = 1;
    private static final int WAIT_MILLIS = 100;

    private final Path device;
    private final KeyboardLayout layout;

    InputEventSource(Path device, KeyboardLayout layout) {
        this.device = device;
        this.layout = layout;
    }

    @Override
    String describe() {
        return "hid:" + device + ":" + layout.name;
    }

    @Override
    SourceStream connect() throws IOException {
        try {
            int descriptor = OpenDeadline.open("the input device " + device,
                    () -> InputEvents.open(device.toString()), InputEvents::close);
            return new Stream(descriptor);
        } catch (IOException e) {
            throw new IOException("cannot open the input device " + device + ": " + e.getMessage());
        }
    }

    private final class Stream extends KeyStream {
        private final int descriptor;
        private final int recordSize = InputEvents.recordSize();
        private final byte[] records = new byte[recordSize * 64];
        private int kept; // bytes of a record that a read cut short, at the start of records

        Stream(int descriptor) {
            super(new KeyDecoder(layout, false, false), 0);
            this.descriptor = descriptor;
        }

        // Waits for events here, so that stop is noticed between short waits.
        @Override
        protected void idle() throws IOException {
            byte[] buffer = new byte[records.length - kept];
            int count = InputEvents.read(descriptor, buffer, WAIT_MILLIS);
            if (count < 0) {
                gone(endReason());
                return;
            }
            System.arraycopy(buffer, 0, records, kept, count);
            int length = kept + count;
            int start = 0;
            for (; start + recordSize <= length; start += recordSize) {
                int end = start + recordSize;
                int type = unsigned16(end - 8);
                int code = unsigned16(end - 6);
                int value = unsigned16(end - 4) | (unsigned16(end - 2) << 16);
                if (type == EV_KEY && value >= 0 && value <= 2) {
                    // 0 lets go, 1 presses, 2 is the kernel's auto-repeat.
                    offer(KeyDecoder.keyCodeOf(code), value == 0 ? KeyDecoder.ACTION_UP : KeyDecoder.ACTION_DOWN, 0,
                            code, value == 2 ? 1 : 0);
                }
            }
            kept = length - start;
            System.arraycopy(records, start, records, 0, kept);
        }

        // Input records are little-endian on every architecture the console runs on.
        private int unsigned16(int offset) {
            return (records[offset] & 0xFF) | ((records[offset + 1] & 0xFF) << 8);
        }

        @Override
        protected void release() {
            InputEvents.close(descriptor);
        }

        @Override
        String endReason() {
            return "the input device " + device + " is gone (unplugged, switched off, or its recording ended)";
        }
    }
}
