package com.kestra.MobileBarcodeScannerPackage;

import com.kestra.console.SerialPort;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Barcodes from a real scanner on a serial device: a Bluetooth scanner bound to /dev/rfcomm0,
 * or a USB scanner in serial mode on /dev/ttyACM0. The device is read raw at the given speed;
 * when it goes away (unplugged, switched off, out of reach) the scanner counts as unplugged.
 */
final class SerialSource extends BarcodeSource {
    static final int DEFAULT_BAUD = 9600;
    private static final int POLL_MILLIS = 100;

    private final Path device;
    private final int baud;

    SerialSource(Path device, int baud) {
        this.device = device;
        this.baud = baud;
    }

    @Override
    String describe() {
        return "serial:" + device + ":" + baud;
    }

    @Override
    SourceStream connect() throws IOException {
        try {
            int descriptor = OpenDeadline.open("the serial device " + device,
                    () -> SerialPort.open(device.toString(), baud), SerialPort::close);
            return new Stream(descriptor);
        } catch (IOException e) {
            throw new IOException("cannot open the serial device " + device + ": " + e.getMessage());
        }
    }

    private final class Stream extends SourceStream {
        private final int descriptor;

        Stream(int descriptor) {
            this.descriptor = descriptor;
        }

        // Waits in short steps, so that stop is noticed without closing the descriptor under
        // a read.
        @Override
        int read(byte[] buffer) throws IOException {
            while (!stopped()) {
                int count = SerialPort.read(descriptor, buffer, POLL_MILLIS);
                if (count != 0) {
                    return count;
                }
            }
            return 0;
        }

        @Override
        protected void release() {
            SerialPort.close(descriptor);
        }

        @Override
        String endReason() {
            return "the serial device " + device + " is gone (unplugged, switched off or out of reach)";
        }
    }
}
