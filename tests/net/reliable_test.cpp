// The reliable layer on an injected clock, the message payloads and the
// server's command texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/random.h"
#include "net/messages.h"
#include "net/packets.h"
#include "net/reliable.h"

namespace {

struct delivered {
    std::vector<int32_t> numbers;
    std::vector<std::string> texts;
};

void collect(void* context, const reliable_message& m) {
    delivered& d = *(delivered*)context;
    d.numbers.push_back(m.sequence);
    d.texts.emplace_back(m.payload.begin(), m.payload.end());
}

bool receive(reliable_receiver& r, int32_t seq, delivered& d, const std::string& text = "") {
    return reliable_receive(r, seq, msg_text, (const uint8_t*)text.data(), text.size(), collect, &d);
}

}  // namespace

TEST(NetReliable, ReceiverDeliversInOrderOnceAndAcknowledgesEverything) {
    reliable_receiver r;
    r.next_expected = 3;
    delivered d;
    EXPECT_TRUE(receive(r, 5, d, "five"));
    EXPECT_TRUE(receive(r, 5, d, "again"));  // second copy of a held one
    EXPECT_TRUE(d.numbers.empty());
    EXPECT_TRUE(receive(r, 3, d, "three"));
    EXPECT_EQ(d.numbers, (std::vector<int32_t>{3}));
    EXPECT_TRUE(receive(r, 4, d, "four"));
    EXPECT_EQ(d.numbers, (std::vector<int32_t>{3, 4, 5}));
    EXPECT_EQ(d.texts, (std::vector<std::string>{"three", "four", "five"}));
    EXPECT_TRUE(receive(r, 4, d, "four"));  // duplicate: acknowledged, not delivered
    EXPECT_TRUE(receive(r, 0, d));
    EXPECT_EQ(d.numbers.size(), 3u);
    EXPECT_EQ(r.next_expected, 6);
    EXPECT_TRUE(r.held.empty());

    // A buffered message holds a whole datagram's payload.
    std::string big(max_datagram - 6, 'b');
    EXPECT_TRUE(receive(r, 7, d, big));
    EXPECT_TRUE(receive(r, 6, d));
    EXPECT_EQ(d.texts.back(), big);
}

TEST(NetReliable, ReorderBufferIsBounded) {
    reliable_receiver r;
    delivered d;
    EXPECT_TRUE(receive(r, reliable_window, d));
    EXPECT_FALSE(receive(r, reliable_window + 1, d));  // not held, not acknowledged
    EXPECT_FALSE(receive(r, INT32_MAX, d));
    for (int32_t s = 1; s < 100000; s += 3) receive(r, s, d);
    EXPECT_LE(r.held.size(), (size_t)reliable_window);
    EXPECT_TRUE(d.numbers.empty());
    EXPECT_TRUE(receive(r, INT32_MIN, d));  // far behind: a duplicate
    EXPECT_TRUE(d.numbers.empty());
}

TEST(NetReliable, SenderResendsTheHeadEveryHalfSecondUntilAcknowledged) {
    reliable_sender s;
    reliable_message& a = reliable_new(s, msg_text);
    reliable_append(a, "one", 3);
    reliable_new(s, msg_command);
    EXPECT_EQ(s.queue.front().sequence, 0);
    EXPECT_EQ(s.queue.back().sequence, 1);

    const reliable_message* due = reliable_due(s, 10.0);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->sequence, 0);
    EXPECT_FALSE(reliable_due(s, 10.2));
    EXPECT_FALSE(reliable_due(s, 10.5));  // due only once the time is past
    ASSERT_TRUE(reliable_due(s, 10.5001));
    EXPECT_FALSE(reliable_due(s, 10.9));

    EXPECT_FALSE(reliable_acknowledged(s, 1));  // not the head
    EXPECT_TRUE(reliable_acknowledged(s, 0));
    EXPECT_FALSE(reliable_acknowledged(s, 0));
    due = reliable_due(s, 10.9);  // the next one goes out at once
    ASSERT_TRUE(due);
    EXPECT_EQ(due->sequence, 1);
    EXPECT_TRUE(reliable_acknowledged(s, 1));
    EXPECT_FALSE(reliable_due(s, 20.0));

    reliable_message& big = reliable_new(s, msg_command);
    std::string text(600, 'x');
    reliable_append(big, text.data(), 400);
    reliable_append(big, text.data(), 200);
    EXPECT_EQ(big.payload.size(), reliable_payload_max);
    reliable_reset(s);
    EXPECT_TRUE(s.queue.empty());
    EXPECT_EQ(reliable_new(s, msg_text).sequence, 0);
}

// Messages through datagrams both ways on a lossy, reordering line: each
// arrives once, in order, however many copies are lost or repeated.
TEST(NetReliable, MessagesSurviveALossyLineThroughTheCodecs) {
    reliable_sender out;
    reliable_receiver in;
    delivered d;
    random_state rng;
    random_seed(rng, 39);
    for (int i = 0; i < 40; i++) {
        std::string text = "message " + std::to_string(i);
        reliable_append(reliable_new(out, msg_text), text.data(), text.size());
    }
    std::vector<datagram> line;
    double now = 0;
    for (int tick = 0; tick < 20000 && d.numbers.size() < 40; tick++) {
        now += 1.0 / 128;
        if (const reliable_message* m = reliable_due(out, now)) {
            server_packet p;
            p.type = sp_reliable;
            p.sequence = m->sequence;
            p.message_type = m->message_type;
            p.payload = m->payload;
            datagram g;
            encode_server_packet(p, g);
            line.push_back(g);
            if (next_u32(rng) % 4 == 0) line.push_back(g);  // duplicated on the way
        }
        if (line.empty() || next_u32(rng) % 3 == 0) continue;
        datagram g = line.front();
        line.erase(line.begin());
        if (next_u32(rng) % 3 == 0) continue;  // lost
        server_packet p;
        ASSERT_TRUE(decode_server_packet(g.bytes.data(), g.size, p));
        if (!reliable_receive(in, p.sequence, p.message_type, p.payload.data(), p.payload.size(), collect, &d))
            continue;
        if (next_u32(rng) % 3 == 0) continue;  // the acknowledgment is lost
        client_packet ack;
        ack.type = cp_ack;
        ack.sequence = p.sequence;
        datagram a;
        encode_client_packet(ack, a);
        client_packet back;
        ASSERT_TRUE(decode_client_packet(a.bytes.data(), a.size, back));
        reliable_acknowledged(out, back.sequence);
    }
    ASSERT_EQ(d.numbers.size(), 40u);
    for (int i = 0; i < 40; i++) {
        EXPECT_EQ(d.numbers[(size_t)i], i);
        EXPECT_EQ(d.texts[(size_t)i], "message " + std::to_string(i));
    }
}

TEST(NetMessages, GatePayloadsMatchHandWrittenBytesAndRefuseBadRecords) {
    std::vector<uint8_t> passed = encode_gate_passed(9, 4, 1200);
    EXPECT_EQ(passed, (std::vector<uint8_t>{9, 0, 0, 0, 4, 0, 0, 0, 0xB0, 4, 0, 0}));
    int32_t race = 0;
    gate_record g;
    ASSERT_TRUE(decode_gate_passed(passed.data(), passed.size(), race, g));
    EXPECT_EQ(race, 9);
    EXPECT_EQ(g.gate, 4);
    EXPECT_EQ(g.tic, 1200);
    EXPECT_FALSE(decode_gate_passed(passed.data(), 11, race, g));
    std::vector<uint8_t> bad_gate = {9, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};  // gate 256
    EXPECT_FALSE(decode_gate_passed(bad_gate.data(), bad_gate.size(), race, g));

    std::vector<uint8_t> table = encode_gate_table(9, {{3, 4, 1200}, {5, 6, 1300}});
    EXPECT_EQ(table, (std::vector<uint8_t>{9, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xB0, 4, 0, 0,
                                           5, 0, 0, 0, 6, 0, 0, 0, 0x14, 5, 0, 0}));
    std::vector<gate_record> records;
    bool short_records = true;
    ASSERT_TRUE(decode_gate_table(table.data(), table.size(), race, records, short_records));
    EXPECT_FALSE(short_records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].slot, 5);
    EXPECT_EQ(records[1].gate, 6);
    EXPECT_EQ(records[1].tic, 1300);

    // slot 160, slot -1, gate -1 and gate 256 are left out; the count says 6.
    std::vector<gate_record> odd = {{160, 1, 1}, {-1, 1, 1}, {2, -1, 1}, {2, 256, 1}, {159, 255, 7}};
    table = encode_gate_table(9, odd);
    table[4] = 6;
    ASSERT_TRUE(decode_gate_table(table.data(), table.size(), race, records, short_records));
    EXPECT_TRUE(short_records);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].slot, 159);
    table[4] = 0xFF, table[7] = 0xFF;  // count -1
    EXPECT_FALSE(decode_gate_table(table.data(), table.size(), race, records, short_records));
    EXPECT_FALSE(decode_gate_table(table.data(), 7, race, records, short_records));

    // A table is never made longer than a message holds.
    EXPECT_LE(encode_gate_table(1, std::vector<gate_record>(100)).size(), reliable_payload_max);

    std::vector<uint8_t> record = {1, 2, 3};
    std::vector<uint8_t> deformation = encode_deformation(9, record.data(), record.size());
    EXPECT_EQ(deformation, (std::vector<uint8_t>{9, 0, 0, 0, 1, 2, 3}));
    std::vector<uint8_t> back;
    ASSERT_TRUE(decode_deformation(deformation.data(), deformation.size(), race, back));
    EXPECT_EQ(back, record);
    EXPECT_FALSE(decode_deformation(deformation.data(), 3, race, back));

    const uint8_t text[] = {'h', 'i', 0, 'x'};
    EXPECT_EQ(decode_message_text(text, sizeof text), "hi");
}

TEST(NetMessages, ServerCommandsFollowTheirMatchingRules) {
    using k = server_command_kind;
    struct row {
        const char* text;
        k kind;
    };
    const std::vector<row> table = {
        {"no_arcade", k::no_arcade},          {" no_arcade", k::none},
        {"no_arcade 1", k::none},             {"off_course_bias 12.5", k::off_course_bias},
        {"off_course_bias", k::none},         {" off_course_bias 3", k::none},
        {"off_course_scale 2", k::off_course_scale},
        {"knockout", k::knockout},            {"  knockout 1 2", k::knockout},
        {"knockout\t5", k::knockout},         {"knockoutx 1", k::none},
        {"erode 7 3", k::erode},              {"  erode 7 3 9", k::erode},
        {"erode 7", k::erode_malformed},      {"erode", k::erode_malformed},
        {"erode x y", k::erode_malformed},    {"eroder 1 2", k::none},
        {"sendready", k::send_ready},         {"sendready ", k::none},
        {" sendready", k::none},              {"senddenied", k::send_denied},
        {"  senddenied too big", k::send_denied},
        {"senddeniedx", k::none},             {"hello", k::none},
        {"", k::none},
    };
    for (const row& r : table) EXPECT_EQ(parse_server_command(r.text).kind, r.kind) << r.text;

    EXPECT_DOUBLE_EQ(parse_server_command("off_course_bias 12.5").value, 12.5);
    EXPECT_DOUBLE_EQ(parse_server_command("off_course_scale 2").value, 2.0);

    auto knockout = [](const char* text) { return parse_server_command(text).knockout; };
    std::array<int32_t, 16> want;
    want.fill(20);
    want[0] = 10;
    EXPECT_EQ(knockout("knockout 10 20"), want);
    want.fill(460800);
    EXPECT_EQ(knockout("knockout 999999"), want);
    EXPECT_EQ(knockout("knockout 99999999999999999999999"), want);
    want.fill(0);
    EXPECT_EQ(knockout("knockout"), want);
    want.fill(7);
    want[0] = 0;
    EXPECT_EQ(knockout("knockout -5 7 junk 9"), want);
    std::string many = "knockout";
    for (int i = 1; i <= 20; i++) many += " " + std::to_string(i);
    EXPECT_EQ(knockout(many.c_str())[15], 16);

    server_command c = parse_server_command("erode 7 3");
    EXPECT_EQ(c.race, 7);
    EXPECT_EQ(c.rate, 3);
    EXPECT_FALSE(erode_command_effect(c, 8, 0).set);  // another race: nothing changes
    erode_effect e = erode_command_effect(c, 7, 0);
    EXPECT_TRUE(e.set && e.record && e.track_modified);
    EXPECT_EQ(e.rate, 3);
    e = erode_command_effect(parse_server_command("erode 7 0"), 7, -1);
    EXPECT_TRUE(e.set);
    EXPECT_FALSE(e.record || e.track_modified);
    e = erode_command_effect(parse_server_command("erode 7 0"), 7, 2);
    EXPECT_TRUE(e.set && e.record);
    EXPECT_FALSE(e.track_modified);
    EXPECT_FALSE(erode_command_effect(parse_server_command("erode 7"), 7, 0).set);
}
