package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.io.InputStream;
import java.nio.channels.FileChannel;
import java.nio.channels.Channels;
import java.nio.file.AccessDeniedException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.BasicFileAttributes;

/**
 * Barcodes from a file, one a line. The file is followed like a live stream: lines appended
 * while the device is open arrive as new scans. Removing or replacing the file unplugs the
 * scanner. A FIFO is read as a stream too, whoever writes into it and however often writers
 * come and go.
 */
final class FileSource extends BarcodeSource {
    private static final long POLL_MILLIS = 50;
    // The file type bits of a Unix mode, and the type of a FIFO.
    private static final int S_IFMT = 0170000;
    private static final int S_IFIFO = 0010000;

    private final Path path;

    FileSource(Path path) {
        this.path = path;
    }

    @Override
    String describe() {
        return "file:" + path;
    }

    private static boolean isFifo(Path path) {
        try {
            return ((Integer) Files.getAttribute(path, "unix:mode") & S_IFMT) == S_IFIFO;
        } catch (IOException | UnsupportedOperationException | IllegalArgumentException e) {
            return false;
        }
    }

    @Override
    SourceStream connect() throws IOException {
        // A folder opens for reading on Linux, and only its first read fails.
        if (Files.isDirectory(path)) {
            throw new IOException("cannot open the barcode file " + path + ": it is a folder, not a file");
        }
        try {
            // Opening a FIFO for reading waits for a writer; opened for writing as well it does
            // not, and its stream does not end each time a writer closes. Any other open that
            // blocks gives up after the deadline.
            StandardOpenOption[] options = isFifo(path)
                    ? new StandardOpenOption[] {StandardOpenOption.READ, StandardOpenOption.WRITE}
                    : new StandardOpenOption[] {StandardOpenOption.READ};
            FileChannel channel = OpenDeadline.open("the barcode file " + path,
                    () -> FileChannel.open(path, options), FileSource::closeQuietly);
            Object identity = Files.readAttributes(path, BasicFileAttributes.class).fileKey();
            return new Stream(channel, identity);
        } catch (NoSuchFileException e) {
            throw new IOException("cannot open the barcode file " + path + ": it does not exist");
        } catch (AccessDeniedException e) {
            throw new IOException("cannot open the barcode file " + path + ": permission to read it is denied");
        } catch (IOException e) {
            throw new IOException("cannot open the barcode file " + path + ": " + e.getMessage());
        }
    }

    private final class Stream extends SourceStream {
        private final FileChannel channel;
        private final InputStream input;
        private final Object identity;

        Stream(FileChannel channel, Object identity) {
            this.channel = channel;
            this.input = Channels.newInputStream(channel);
            this.identity = identity;
        }

        @Override
        int read(byte[] buffer) throws IOException {
            while (!stopped()) {
                int count = input.read(buffer);
                if (count > 0) {
                    return count;
                }
                if (!stillTheSameFile()) {
                    throw new IOException("the barcode file " + path + " was removed or replaced");
                }
                try {
                    Thread.sleep(POLL_MILLIS);
                } catch (InterruptedException e) {
                    return 0;
                }
            }
            return 0;
        }

        private boolean stillTheSameFile() {
            try {
                BasicFileAttributes now = Files.readAttributes(path, BasicFileAttributes.class);
                boolean same = identity == null || identity.equals(now.fileKey());
                return same && now.size() >= channel.position();
            } catch (IOException e) {
                return false;
            }
        }

        // Closing the channel also ends a read blocked on a FIFO.
        @Override
        protected void wakeRead() {
            closeQuietly(channel);
        }

        @Override
        protected void release() {
            closeQuietly(channel);
        }

        @Override
        String endReason() {
            return "the barcode file " + path + " ended";
        }
    }

    private static void closeQuietly(FileChannel channel) {
        try {
            channel.close();
        } catch (IOException e) {
            // Nothing more to release.
        }
    }
}
