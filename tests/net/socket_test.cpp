// The UDP layer on the loopback address, and the link's filtering and
// simulated lag and loss over a memory transport.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "net/socket.h"

namespace {

struct sent {
    net_address from;
    std::vector<uint8_t> bytes;
};
std::deque<sent> inbox;

int memory_receive(int, void* buffer, size_t size, net_address* from) {
    if (inbox.empty()) return -1;
    sent s = inbox.front();
    inbox.pop_front();
    size_t n = std::min(size, s.bytes.size());
    memcpy(buffer, s.bytes.data(), n);
    if (from) *from = s.from;
    return (int)n;
}

struct memory_line : ::testing::Test {
    net_link link;
    net_address server{0x7F000001, 19800};
    void SetUp() override {
        inbox.clear();
        net_driver.receive = memory_receive;
        link.socket = 1;
        link.server = server;
    }
    void TearDown() override {
        net_driver = {};
        inbox.clear();
    }
    void arrive(const net_address& from, uint8_t tag) { inbox.push_back({from, {tag}}); }
    int next(double now) {
        uint8_t b[max_datagram_for_test];
        int n = net_link_receive(link, b, sizeof b, now);
        return n == 1 ? b[0] : n;
    }
    static constexpr size_t max_datagram_for_test = 1023;
};

}  // namespace

TEST_F(memory_line, OnlyTheServersDatagramsAreKept) {
    arrive({0x7F000001, 19801}, 1);
    arrive(server, 2);
    arrive({0x0A000001, 19800}, 3);
    arrive(server, 4);
    EXPECT_EQ(next(0), 2);
    EXPECT_EQ(next(0), 4);
    EXPECT_EQ(next(0), -1);
}

TEST_F(memory_line, LagHoldsDatagramsInOrderAndFullLossPassesNothing) {
    fake_network_set(link.fake, 250, 0);
    EXPECT_DOUBLE_EQ(link.fake.delay, 0.25);
    arrive(server, 1);
    arrive(server, 2);
    EXPECT_EQ(next(10.0), -1);
    arrive(server, 3);
    EXPECT_EQ(next(10.1), -1);
    EXPECT_EQ(next(10.25), 1);
    EXPECT_EQ(next(10.25), 2);
    EXPECT_EQ(next(10.3), -1);
    EXPECT_EQ(next(10.4), 3);

    fake_network_set(link.fake, 5000, 100);
    EXPECT_DOUBLE_EQ(link.fake.delay, 1.0);
    for (int i = 0; i < 3000; i++) arrive(server, 7);
    double now = 0;
    for (int i = 0; i < 3000; i++) EXPECT_EQ(next(now += 1), -1);

    // At 0 % nothing is lost; at 50 % about half; the queue stays bounded.
    fake_network_set(link.fake, 1000, 0);
    for (int i = 0; i < 2000; i++) arrive(server, 8);
    EXPECT_EQ(next(0), -1);
    EXPECT_EQ(link.fake.queue.size(), fake_queue_limit);
    fake_network_set(link.fake, -10, 50);
    EXPECT_EQ(link.fake.delay, 0.0);
    int lost = 0;
    for (int i = 0; i < 10000; i++) lost += fake_network_drops(link.fake);
    EXPECT_NEAR(lost, 5000, 300);
}

TEST(NetSocket, DatagramsTravelOverLoopbackWithoutBlocking) {
    int a = net_open();
    int b = net_open();
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    char buf[1023];
    EXPECT_EQ(net_receive(b, buf, sizeof buf, nullptr), -1);  // nothing yet: not an error
    EXPECT_EQ(net_error_name(), nullptr);

    net_address to;
    std::string text = "127.0.0.1:" + std::to_string(net_local_port(b));
    ASSERT_TRUE(net_resolve(text.c_str(), 19800, to));
    EXPECT_EQ(to.host, 0x7F000001u);
    std::string big(1500, 'q');
    EXPECT_EQ(net_send(a, "hello", 5, to), 5);
    EXPECT_EQ(net_send(a, big.data(), big.size(), to), 1500);
    net_address from;
    int n = -1;
    for (int i = 0; i < 1000 && n < 0; i++) n = net_receive(b, buf, sizeof buf, &from);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(from.port, net_local_port(a));
    n = -1;
    for (int i = 0; i < 1000 && n < 0; i++) n = net_receive(b, buf, sizeof buf, &from);
    EXPECT_EQ(n, 1023);  // cut to the buffer

    // The link keeps its server's datagrams only.
    net_link link;
    ASSERT_TRUE(net_link_open(link, ("localhost:" + std::to_string(net_local_port(b))).c_str(), 19800));
    net_address link_addr{0x7F000001, (uint16_t)net_local_port(link.socket)};
    EXPECT_EQ(net_send(a, "x", 1, link_addr), 1);
    EXPECT_EQ(net_send(b, "y", 1, link_addr), 1);
    n = -1;
    for (int i = 0; i < 1000 && n < 0; i++) n = net_link_receive(link, buf, sizeof buf, 0);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(buf[0], 'y');
    EXPECT_EQ(net_link_send(link, "z", 1), 1);
    net_link_close(link);
    net_close(a);
    net_close(b);

    EXPECT_EQ(net_send(-1, "x", 1, to), -1);
    ASSERT_NE(net_error_name(), nullptr);
    EXPECT_STREQ(net_error_name(), "EBADF");
}

TEST(NetSocket, AddressTextsNameAHostAndMaybeAPort) {
    net_address a;
    ASSERT_TRUE(net_resolve("127.0.0.1", 19800, a));
    EXPECT_EQ(a.port, 19800);
    ASSERT_TRUE(net_resolve("localhost:4000", 19800, a));
    EXPECT_EQ(a.port, 4000);
    EXPECT_EQ(a.host, 0x7F000001u);
    EXPECT_FALSE(net_resolve("127.0.0.1:abc", 19800, a));  // the whole text is then the host
    EXPECT_FALSE(net_resolve("", 19800, a));
    EXPECT_FALSE(net_resolve(nullptr, 19800, a));
}
