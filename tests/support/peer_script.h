// Drives the test scanner peer (Java class com.kestra.MobileBarcodeScannerPackage.MobileBarcodeScanner)
// through its script, com.kestra.testsupport.PeerScript. Every function works on any thread (it
// attaches a native thread when needed), deletes the local references it makes and fails the
// current test if the Java side throws.
//
// Method names are the Java ones: "<init>" (the constructor), "show", "GetDevicesList",
// "OpenDevice", "CloseDevice", "TestDevice", "GetLastError". Peers are numbered in order of
// construction from 0. Defaults after reset(): boolean methods return true, string methods
// return "", nothing throws, no barcode is sent by itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport::peer {

// Stops the loop senders and forgets every script, peer, call and tracked string. Call it at
// the start of each test that uses the peer.
void reset();

// Scripts what a method answers from now on. std::nullopt makes a string method return null.
void returnString(const char* method, const std::optional<std::u16string>& value);
void returnBoolean(const char* method, bool value);
// Makes the method (or "<init>") throw an IllegalStateException, or stop throwing.
void throwFrom(const char* method, bool enabled = true);
// Each string method returns a new String object per call (for reference-leak tests).
void freshStrings(bool enabled = true);
// The peer sends this barcode itself from within "<init>" or "show", on the calling thread.
void sendFrom(const char* method, const std::u16string& barcode);
// The same from a Java thread that the method starts and waits for (at most ten seconds), as a
// peer whose constructor starts its reader would.
void sendFromThreadOf(const char* method, const std::u16string& barcode);

// Peers constructed so far (a constructor that threw does not count).
int instanceCount();
// The long the peer received at construction.
int64_t recorderOf(int instance);
// How often show ran on the peer.
int showCount(int instance);
// Whether the peer received a non-null activity.
bool hasActivity(int instance);

// Method names of every call on every peer, in order ("<init>" included).
std::vector<std::string> calls();
// Calls of the method on any peer (instance -1) or on one peer.
int callCount(const char* method, int instance = -1);
// The argument of the n-th call of the method on any peer; nullopt if it was null.
std::optional<std::u16string> argument(const char* method, int n = 0);

// Strings the peers returned or received since reset(), and how many of them are still
// reachable from anywhere (run collectGarbage first).
int trackedStringCount();
int reachableStringCount();

// The peer calls SendBarcode with its own long: on the calling thread, or on a new Java thread
// (returns when that thread has ended).
void send(int instance, const std::u16string& barcode);
void sendFromNewThread(int instance, const std::u16string& barcode);
// SendBarcode with any long, on the calling thread: from an object that is no peer, or from a
// peer (as one that holds the address of a recorder that is gone would).
void sendWith(int64_t recorder, const std::u16string& barcode);
void sendAs(int instance, int64_t recorder, const std::u16string& barcode);
// Java threads that call SendBarcode with the peer's long in a loop, until stopSenders().
void startSenders(int instance, int threadCount, const std::u16string& barcode);
void stopSenders();
// SendBarcode calls that have returned, however they were sent.
int64_t sentCount();

}  // namespace testsupport::peer
