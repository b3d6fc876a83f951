// The app's Java classes as the library sees them: names and JNI signatures.
#pragma once

namespace java_contract {

// The scanner class, found through the host's Android helper by its dotted name.
constexpr wchar_t kScannerClassName[] = L"com.kestra.MobileBarcodeScannerPackage.MobileBarcodeScanner";

constexpr char kConstructorName[] = "<init>";
constexpr char kConstructorSignature[] = "(Landroid/app/Activity;J)V";
constexpr char kShowName[] = "show";
constexpr char kShowSignature[] = "()V";
constexpr char kGetDevicesListName[] = "GetDevicesList";
constexpr char kGetDevicesListSignature[] = "()Ljava/lang/String;";
constexpr char kOpenDeviceName[] = "OpenDevice";
constexpr char kOpenDeviceSignature[] = "(Ljava/lang/String;)Z";
constexpr char kCloseDeviceName[] = "CloseDevice";
constexpr char kCloseDeviceSignature[] = "()Z";
constexpr char kTestDeviceName[] = "TestDevice";
constexpr char kTestDeviceSignature[] = "(Ljava/lang/String;)Z";
constexpr char kGetLastErrorName[] = "GetLastError";
constexpr char kGetLastErrorSignature[] = "()Ljava/lang/String;";

// Natives the VM binds by their JNI short names:
//   com.kestra.MobileBarcodeScannerPackage.MobileBarcodeScanner.SendBarcode(long, String)
//   com.BTBarcodeScannerPackage.BTBarcodeScannerLib.BTBarcodeScannerClass.NativeTrace(String)

}  // namespace java_contract
