package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.io.InputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;

/**
 * Barcodes from a TCP client on 127.0.0.1, a stand-in for a serial-port stream: open the device,
 * then `cat >/dev/tcp/127.0.0.1/PORT` in bash and type barcodes. Only the loopback interface is
 * ever listened on.
 * One client is the scanner; when it disconnects, the scanner counts as unplugged.
 */
final class TcpSource extends BarcodeSource {
    private final int port;

    TcpSource(int port) {
        this.port = port;
    }

    private String where() {
        return "127.0.0.1:" + port;
    }

    @Override
    String describe() {
        return "tcp:" + port;
    }

    private ServerSocket listen() throws IOException {
        ServerSocket server = new ServerSocket();
        try {
            server.setReuseAddress(true);
            server.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), port), 1);
            return server;
        } catch (IOException e) {
            server.close();
            throw new IOException("cannot listen on " + where() + ": " + e.getMessage());
        }
    }

    @Override
    SourceStream connect() throws IOException {
        return new Stream(listen());
    }

    private final class Stream extends SourceStream {
        private final ServerSocket server;
        private volatile Socket client;
        private InputStream input;

        Stream(ServerSocket server) {
            this.server = server;
        }

        @Override
        int read(byte[] buffer) throws IOException {
            try {
                if (input == null) {
                    Socket accepted = server.accept();
                    client = accepted;
                    server.close();  // one scanner per port
                    if (stopped()) {
                        return 0;
                    }
                    input = accepted.getInputStream();
                }
                int count = input.read(buffer);
                return count;
            } catch (IOException e) {
                if (stopped()) {
                    return 0;
                }
                throw new IOException("the connection on " + where() + " was lost: " + e.getMessage());
            }
        }

        // Closing the sockets ends a blocked accept or read; it is no release yet, so the
        // reader's own close still runs.
        @Override
        protected void wakeRead() {
            closeSockets();
        }

        @Override
        protected void release() {
            closeSockets();
        }

        private void closeSockets() {
            try {
                server.close();
            } catch (IOException e) {
                // Closing is all that is left to do.
            }
            Socket connected = client;
            if (connected != null) {
                try {
                    connected.close();
                } catch (IOException e) {
                    // Same.
                }
            }
        }

        @Override
        String endReason() {
            return "the scanner on " + where() + " closed the connection";
        }
    }
}
