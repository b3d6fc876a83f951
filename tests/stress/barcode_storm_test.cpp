// Barcode storms: Java threads send numbered barcodes as fast as they can while the host works
// on the components they are aimed at.
// - Across destruction: the host creates, initialises and destroys components in a loop. Every
//   barcode sent while its component was alive must arrive exactly once, in its thread's order,
//   at that component's own connection; none may arrive after DestroyObject has returned.
// - Across every host call: the host keeps several components and calls every entry point on
//   them at random, Init again and with null among them. A barcode may be dropped then (no
//   connection), but none may arrive twice, at another component, at a connection after the Init
//   that replaced it has returned (the host may free it then), or after DestroyObject.

#include "component/component_base.h"
#include "module/exports.h"
#include "tests/stress/log_tally.h"
#include "tests/support/host_connection.h"
#include "tests/support/host_memory.h"
#include "tests/support/peer_script.h"
#include "tests/support/vm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::HostConnection;
using testsupport::hostString;

constexpr int kCycles = 1000;
constexpr int kSenderThreads = 4;

struct Barcode {
    int generation;
    int thread;
    long long sequence;
};

// "g<generation>t<thread>s<sequence>", in ASCII.
bool parseBarcode(const std::string& text, Barcode& barcode) {
    int consumed = 0;
    return sscanf(text.c_str(), "g%dt%ds%lld%n", &barcode.generation, &barcode.thread, &barcode.sequence,
                  &consumed) == 3 &&
           static_cast<size_t>(consumed) == text.size();
}

std::string ascii(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

// The Java side of the storm, com.kestra.stress.BarcodeStorm, called from the host thread.
class Storm {
public:
    explicit Storm(JNIEnv* env)
        : m_env(env), m_class(testsupport::findClass(env, "com/kestra/stress/BarcodeStorm")) {
        m_peerScript = testsupport::findClass(env, "com/kestra/testsupport/PeerScript");
    }
    ~Storm() {
        stop();
        m_env->DeleteLocalRef(m_class);
        m_env->DeleteLocalRef(m_peerScript);
    }

    void start(int threads, int slots) { callStatic("start", "(II)V", threads, slots); }

    // Aims the senders' turns at a slot at the newest peer, made for the component of generation.
    void aim(int slot, int generation) {
        jmethodID instance = m_env->GetStaticMethodID(
            m_peerScript, "instance", "(I)Lcom/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner;");
        jobject peer =
            m_env->CallStaticObjectMethod(m_peerScript, instance, testsupport::peer::instanceCount() - 1);
        testsupport::expectNoPendingException(m_env);
        callStatic("aim", "(ILcom/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner;I)V", slot, peer,
                   generation);
        m_env->DeleteLocalRef(peer);
    }

    void retire(int slot) { callStatic("retire", "(I)V", slot); }

    void stop() {
        if (!m_stopped) {
            m_stopped = true;
            callStatic("stop", "()V");
        }
    }

    std::vector<Barcode> mustArrive(int thread) {
        jmethodID method = m_env->GetStaticMethodID(m_class, "mustArrive", "(I)[J");
        auto packed = static_cast<jlongArray>(m_env->CallStaticObjectMethod(m_class, method, thread));
        testsupport::expectNoPendingException(m_env);
        std::vector<jlong> values(static_cast<size_t>(m_env->GetArrayLength(packed)));
        m_env->GetLongArrayRegion(packed, 0, static_cast<jsize>(values.size()), values.data());
        m_env->DeleteLocalRef(packed);
        std::vector<Barcode> barcodes;
        for (jlong value : values) {
            barcodes.push_back(Barcode{static_cast<int>(value >> 32), thread, value & 0xFFFFFFFFLL});
        }
        return barcodes;
    }

    long long sentCount(int thread) {
        jmethodID method = m_env->GetStaticMethodID(m_class, "sentCount", "(I)J");
        jlong count = m_env->CallStaticLongMethod(m_class, method, thread);
        testsupport::expectNoPendingException(m_env);
        return count;
    }

private:
    template <typename... Args>
    void callStatic(const char* name, const char* signature, Args... args) {
        jmethodID method = m_env->GetStaticMethodID(m_class, name, signature);
        m_env->CallStaticVoidMethod(m_class, method, args...);
        testsupport::expectNoPendingException(m_env);
    }

    JNIEnv* m_env;
    jclass m_class;
    jclass m_peerScript;
    bool m_stopped = false;
};

// What one component's connection received, checked against the storm's rules.
struct Delivered {
    std::set<std::pair<int, long long>> barcodes;  // (thread, sequence)
    int foreign = 0;                               // barcodes of another generation
    int outOfOrder = 0;                            // not after the thread's previous one (or twice)
    int malformed = 0;
};

Delivered check(const std::vector<testsupport::RecordedEvent>& events, int generation) {
    Delivered delivered;
    std::vector<long long> last(kSenderThreads, -1);
    for (const testsupport::RecordedEvent& event : events) {
        Barcode barcode{};
        if (event.source != u"MobileScannerDevice" || event.message != u"Штрихкод" ||
            !parseBarcode(ascii(event.data), barcode) || barcode.thread < 0 ||
            barcode.thread >= kSenderThreads) {
            ++delivered.malformed;
            continue;
        }
        if (barcode.generation != generation) {
            ++delivered.foreign;
            continue;
        }
        if (barcode.sequence <= last[static_cast<size_t>(barcode.thread)]) {
            ++delivered.outOfOrder;
        }
        last[static_cast<size_t>(barcode.thread)] = barcode.sequence;
        delivered.barcodes.insert({barcode.thread, barcode.sequence});
    }
    return delivered;
}

}  // namespace

TEST(BarcodeStorm, BarcodesOfLiveComponentsArriveOnceInOrderAndNoneAfterDestroy) {
    testsupport::peer::reset();
    JNIEnv* env = testsupport::mainEnv();
    stress::LogTally log(
        [](const std::string& line) {
            static const std::string eventLine = "ExternalEvent message is - ";
            Barcode barcode{};
            return parseBarcode(
                line.compare(0, eventLine.size(), eventLine) == 0 ? line.substr(eventLine.size()) : line,
                barcode);
        },
        [](const std::string&) {});
    testsupport::HostMemory memory;
    std::vector<std::unique_ptr<HostConnection>> connections;
    std::vector<size_t> eventsAtDestroy;

    Storm storm(env);
    storm.start(kSenderThreads, 1);
    const ShortWchar kClassName[] = u"MobileBarcodeScanner";
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        IComponentBase* component = nullptr;
        ASSERT_NE(0, GetClassObject(kClassName, &component));
        component->setMemManager(&memory);
        connections.push_back(std::make_unique<HostConnection>());
        HostConnection& connection = *connections.back();
        ASSERT_TRUE(component->Init(&connection));
        ASSERT_EQ(cycle + 1, testsupport::peer::instanceCount());
        storm.aim(0, cycle);
        // Half the cycles let barcodes flow for a while, the others destroy at once, so that
        // destruction meets deliveries at every stage.
        if (cycle % 2 == 0) {
            connection.waitForEvents(16 * kSenderThreads, std::chrono::milliseconds(200));
        }
        storm.retire(0);
        ASSERT_EQ(0, DestroyObject(&component));
        eventsAtDestroy.push_back(connection.eventCount());
    }
    // The senders go on at the last dead peer for a moment before they stop.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    storm.stop();

    std::vector<Delivered> delivered;
    size_t lateEvents = 0, foreign = 0, outOfOrder = 0, malformed = 0, deliveredTotal = 0;
    for (int generation = 0; generation < kCycles; ++generation) {
        std::vector<testsupport::RecordedEvent> events =
            connections[static_cast<size_t>(generation)]->events();
        lateEvents += events.size() - eventsAtDestroy[static_cast<size_t>(generation)];
        delivered.push_back(check(events, generation));
        foreign += static_cast<size_t>(delivered.back().foreign);
        outOfOrder += static_cast<size_t>(delivered.back().outOfOrder);
        malformed += static_cast<size_t>(delivered.back().malformed);
        deliveredTotal += events.size();
    }
    size_t mustArrive = 0, missing = 0;
    long long sent = 0;
    for (int thread = 0; thread < kSenderThreads; ++thread) {
        sent += storm.sentCount(thread);
        for (const Barcode& barcode : storm.mustArrive(thread)) {
            ++mustArrive;
            missing += delivered[static_cast<size_t>(barcode.generation)].barcodes.count(
                           {barcode.thread, barcode.sequence}) == 0;
        }
    }
    printf(
        "storm: %d cycles, %d sender threads, %lld barcodes sent, %zu sent to live components, %zu "
        "delivered\n",
        kCycles, kSenderThreads, sent, mustArrive, deliveredTotal);

    EXPECT_EQ(0u, lateEvents) << "barcodes arrived after DestroyObject returned";
    EXPECT_EQ(0u, foreign) << "barcodes reached a component other than their peer's";
    EXPECT_EQ(0u, outOfOrder) << "barcodes arrived twice or out of their thread's order";
    EXPECT_EQ(0u, malformed) << "events with a wrong source, message or text";
    EXPECT_EQ(0u, missing) << "barcodes sent to a live component never arrived";
    EXPECT_GT(mustArrive, static_cast<size_t>(kCycles)) << "the storm hardly reached live components";

    // Each delivery wrote its lines once: the barcode and the event line, with their fixed lines.
    EXPECT_EQ(0u, log.malformedCount());
    EXPECT_EQ(2 * deliveredTotal, log.payloadCount());
    EXPECT_EQ(deliveredTotal, log.count("OnInput"));
    EXPECT_EQ(deliveredTotal, log.count("Got_barcode"));
    EXPECT_EQ(static_cast<size_t>(kCycles), log.count("Show"));
    EXPECT_EQ(static_cast<size_t>(kCycles), log.count("on destroy"));
}

namespace {

constexpr int kSlots = 3;
constexpr int kHostCalls = 10000;
// GetParameters, SetParameter, Open, Close and DeviceTest, by their numbers.
constexpr int32_t kDriverCalls[] = {3, 4, 5, 6, 7};

// The host's side of the second storm: a few components, each with every connection it was
// given, and what each connection had received when its component was destroyed.
class Host {
public:
    Host(Storm& storm, testsupport::HostMemory& memory) : m_storm(storm), m_memory(memory) {
        std::fill(std::begin(m_current), std::end(m_current), kAlive);
    }

    // A new component in the slot, connected and with the senders aimed at its peer.
    void create(int slot) {
        IComponentBase*& component = m_components[static_cast<size_t>(slot)];
        ASSERT_NE(0, GetClassObject(u"MobileBarcodeScanner", &component));
        component->setMemManager(&m_memory);
        m_generations[static_cast<size_t>(slot)] = m_nextGeneration++;
        connect(slot, true);
    }

    // Init with a new connection makes another peer; the component goes on taking the barcodes
    // of the ones before. The senders move to the new peer when told to. Once Init returns, the
    // connection it replaced is the host's to free: it counts as released.
    void connect(int slot, bool aim) {
        int generation = m_generations[static_cast<size_t>(slot)];
        m_connections.push_back({std::make_unique<HostConnection>(), generation, kAlive});
        ASSERT_TRUE(component(slot)->Init(m_connections.back().connection.get()));
        release(slot);
        m_current[static_cast<size_t>(slot)] = m_connections.size() - 1;
        if (aim) {
            m_storm.aim(slot, generation);
        }
    }

    void disconnect(int slot) {
        EXPECT_FALSE(component(slot)->Init(nullptr));
        release(slot);
    }

    void destroy(int slot) {
        m_storm.retire(slot);
        ASSERT_EQ(0, DestroyObject(&m_components[static_cast<size_t>(slot)]));
        release(slot);
    }

    // A driver method with its inputs, as a host calls it; its outcome is not the point here.
    void call(int slot, int32_t method) {
        tVariant result{};
        tVariant parameters[2]{};
        if (method == 4) {
            parameters[0] = hostString(u"BluetoothDevice");
            parameters[1] = hostString(u"00:11:22:33:44:55");
        }
        component(slot)->CallAsFunc(method, &result, parameters, component(slot)->GetNParams(method));
    }

    IComponentBase* component(int slot) const { return m_components[static_cast<size_t>(slot)]; }

    static constexpr size_t kAlive = static_cast<size_t>(-1);
    struct Connection {
        std::unique_ptr<HostConnection> connection;
        int generation;
        size_t eventsAtRelease;  // what it had received when the host let go of it
    };
    const std::vector<Connection>& connections() const { return m_connections; }

private:
    // The slot's current connection, if any, is let go of: from now on it must receive nothing.
    void release(int slot) {
        size_t& current = m_current[static_cast<size_t>(slot)];
        if (current != kAlive) {
            Connection& released = m_connections[current];
            released.eventsAtRelease = released.connection->eventCount();
            current = kAlive;
        }
    }

    Storm& m_storm;
    testsupport::HostMemory& m_memory;
    IComponentBase* m_components[kSlots] = {};
    int m_generations[kSlots] = {};
    int m_nextGeneration = 0;
    std::vector<Connection> m_connections;
    size_t m_current[kSlots];  // index into m_connections, or kAlive for none
};

}  // namespace

TEST(BarcodeStorm, EveryHostCallDuringDeliveriesKeepsEachBarcodeAtMostOnceAndAtItsOwnComponent) {
    testsupport::peer::reset();
    JNIEnv* env = testsupport::mainEnv();
    testsupport::HostMemory memory;
    Storm storm(env);
    Host host(storm, memory);
    storm.start(kSenderThreads, kSlots);
    for (int slot = 0; slot < kSlots; ++slot) {
        ASSERT_NO_FATAL_FAILURE(host.create(slot));
    }
    // The same calls in every run; the senders' timing varies all the same.
    std::mt19937 random(20261208);
    for (int call = 0; call < kHostCalls; ++call) {
        int slot = static_cast<int>(random() % kSlots);
        unsigned action = random() % 8;
        if (action == 0) {
            ASSERT_NO_FATAL_FAILURE(host.connect(slot, call % 2 == 0));
        } else if (action == 1) {
            host.disconnect(slot);
        } else if (action < 7) {
            host.call(slot, kDriverCalls[action - 2]);
        } else {
            ASSERT_NO_FATAL_FAILURE(host.destroy(slot));
            ASSERT_NO_FATAL_FAILURE(host.create(slot));
        }
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        ASSERT_NO_FATAL_FAILURE(host.destroy(slot));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    storm.stop();

    std::set<std::pair<int, long long>> arrived;  // (thread, sequence)
    size_t twice = 0, foreign = 0, late = 0, malformed = 0, deliveredTotal = 0;
    for (const Host::Connection& connection : host.connections()) {
        std::vector<testsupport::RecordedEvent> events = connection.connection->events();
        late += events.size() - std::min(events.size(), connection.eventsAtRelease);
        deliveredTotal += events.size();
        for (const testsupport::RecordedEvent& event : events) {
            Barcode barcode{};
            if (event.source != u"MobileScannerDevice" || event.message != u"Штрихкод" ||
                !parseBarcode(ascii(event.data), barcode)) {
                ++malformed;
            } else if (barcode.generation != connection.generation) {
                ++foreign;
            } else if (!arrived.insert({barcode.thread, barcode.sequence}).second) {
                ++twice;
            }
        }
    }
    long long sent = 0;
    for (int thread = 0; thread < kSenderThreads; ++thread) {
        sent += storm.sentCount(thread);
    }
    printf("storm: %d host calls on %d components, %zu connections, %lld barcodes sent, %zu delivered\n",
           kHostCalls, kSlots, host.connections().size(), sent, deliveredTotal);

    EXPECT_EQ(0u, twice) << "barcodes arrived twice";
    EXPECT_EQ(0u, foreign) << "barcodes reached a component other than their peer's";
    EXPECT_EQ(0u, late) << "barcodes arrived at a connection after the Init that replaced it, or "
                           "DestroyObject, had returned";
    EXPECT_EQ(0u, malformed) << "events with a wrong source, message or text";
    EXPECT_GT(deliveredTotal, static_cast<size_t>(kHostCalls)) << "the storm hardly reached live components";
}
