package com.kestra.MobileBarcodeScannerPackage;

/** Escaping for text placed in XML element content or in a double-quoted attribute. */
final class Xml {
    private Xml() {}

    /**
     * Device names are chosen by whoever owns the device, so everything special to XML is
     * escaped, line breaks and tabs become character references (an attribute would lose them),
     * and characters XML cannot carry at all become U+FFFD.
     */
    static String escape(String text) {
        StringBuilder out = new StringBuilder(text.length() + 16);
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            switch (c) {
                case '&': out.append("&amp;"); break;
                case '<': out.append("&lt;"); break;
                case '>': out.append("&gt;"); break;
                case '"': out.append("&quot;"); break;
                case '\'': out.append("&apos;"); break;
                case '\t': out.append("&#9;"); break;
                case '\n': out.append("&#10;"); break;
                case '\r': out.append("&#13;"); break;
                default:
                    if (c < 0x20 || c == 0xFFFE || c == 0xFFFF || isLoneSurrogate(text, i)) {
                        out.append('\uFFFD');
                    } else {
                        out.append(c);
                    }
            }
        }
        return out.toString();
    }

    private static boolean isLoneSurrogate(String text, int i) {
        char c = text.charAt(i);
        if (Character.isHighSurrogate(c)) {
            return i + 1 >= text.length() || !Character.isLowSurrogate(text.charAt(i + 1));
        }
        if (Character.isLowSurrogate(c)) {
            return i == 0 || !Character.isHighSurrogate(text.charAt(i - 1));
        }
        return false;
    }
}
