package com.kestra.stress;

/** The scanner class of an app whose constructor takes no activity and no recorder. */
public class NoConstructorPeer {
    public NoConstructorPeer() {}

    public void show() {}

    public boolean OpenDevice(String address) {
        return true;
    }
}
