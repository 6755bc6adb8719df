// Packet codecs against bytes written out by hand from the wire layout,
// both directions, and the malformed datagrams a decoder must refuse.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "net/messages.h"
#include "net/packets.h"

namespace {

// "0B 07000000 ..." -> bytes; blanks are ignored, "*N:XX" repeats XX N times.
std::vector<uint8_t> hex(const std::string& text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ') { i++; continue; }
        if (text[i] == '*') {
            size_t colon = text.find(':', i);
            int count = std::stoi(text.substr(i + 1, colon - i - 1));
            uint8_t v = (uint8_t)std::stoi(text.substr(colon + 1, 2), nullptr, 16);
            out.insert(out.end(), (size_t)count, v);
            i = colon + 3;
            continue;
        }
        out.push_back((uint8_t)std::stoi(text.substr(i, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

std::vector<uint8_t> bytes_of(const datagram& d) { return std::vector<uint8_t>(d.bytes.begin(), d.bytes.begin() + (long)d.size); }
std::vector<uint8_t> bytes_of(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

compact_state counting_state() {
    compact_state s;
    for (size_t i = 0; i < s.size(); i++) s[i] = (uint8_t)i;
    return s;
}

compact_state filled_state(uint8_t v) {
    compact_state s;
    s.fill(v);
    return s;
}

client_packet client(uint8_t type) {
    client_packet p;
    p.type = type;
    p.slot = 7;
    p.connection_id = 0x11223344;
    p.race_id = 9;
    return p;
}

server_packet server(uint8_t type) {
    server_packet p;
    p.type = type;
    p.race_id = 9;
    return p;
}

const std::string rider_text = "4B 58 0A 35 0A 42 6F";  // "KX\n5\nBo"

}  // namespace

TEST(NetPackets, ClientPacketsMatchHandWrittenBytesAndDecodeBack) {
    struct golden {
        const char* name;
        client_packet p;
        std::string bytes;
    };
    std::vector<golden> table;
    {
        client_packet p;
        p.type = cp_contact;
        p.password_flag = 1;
        p.client_token = 0xAABBCCDD;
        table.push_back({"contact", p, "00 01000000 00000000 28000000 DDCCBBAA 00000000"});
    }
    {
        client_packet p = client(cp_client_info);
        p.proof = {1, 2, 3, 4};
        p.client_token = 0xAABBCCDD;
        p.text = "KX\n5\nBo";
        table.push_back({"client info", p, "03 07000000 44332211 01020304 00000000 DDCCBBAA *20:00 " + rider_text});
    }
    table.push_back({"track ack", client(cp_track_ack), "05 07000000 44332211 09000000"});
    {
        client_packet p = client(cp_slot_ack);
        p.last_slot = 160;
        table.push_back({"slot ack", p, "07 07000000 44332211 09000000 A0000000"});
    }
    table.push_back({"start ack", client(cp_start_ack), "09 07000000 44332211 09000000"});
    {
        client_packet p = client(cp_state);
        p.server_tic = 1000;
        p.local_tic = 996;
        p.state = counting_state();
        table.push_back({"state", p,
                         "0B 07000000 44332211 09000000 E8030000 E4030000 "
                         "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F20212223242526"});
    }
    table.push_back({"restart request", client(cp_restart_request), "0D 07000000 44332211 01000000"});
    table.push_back({"restart ack", client(cp_restart_ack), "0E 07000000 44332211 09000000"});
    table.push_back({"disconnect", client(cp_disconnect), "0F 07000000 44332211"});
    {
        client_packet p = client(cp_reliable);
        p.sequence = 5;
        p.message_type = msg_text;
        p.payload = {'h', 'i'};
        table.push_back({"reliable", p, "11 07000000 44332211 05000000 13 6869"});
    }
    {
        client_packet p = client(cp_ack);
        p.sequence = 258;
        table.push_back({"ack", p, "12 07000000 44332211 02010000"});
    }

    for (const golden& g : table) {
        SCOPED_TRACE(g.name);
        std::vector<uint8_t> want = hex(g.bytes);
        datagram d;
        ASSERT_TRUE(encode_client_packet(g.p, d));
        EXPECT_EQ(bytes_of(d), want);
        EXPECT_EQ(want.size(), client_packet_min_size(g.p.type) + g.p.text.size() + g.p.payload.size());

        client_packet back;
        ASSERT_TRUE(decode_client_packet(want.data(), want.size(), back));
        datagram again;
        ASSERT_TRUE(encode_client_packet(back, again));
        EXPECT_EQ(bytes_of(again), want);
        EXPECT_EQ(back.type, g.p.type);
        if (g.p.type != cp_contact) {
            EXPECT_EQ(back.slot, 7);
            EXPECT_EQ(back.connection_id, 0x11223344);
        }
    }
}

TEST(NetPackets, ServerPacketsMatchHandWrittenBytesAndDecodeBack) {
    struct golden {
        const char* name;
        server_packet p;
        std::string bytes;
    };
    std::vector<golden> table;
    table.push_back({"server full", server(sp_server_full), "01"});
    {
        server_packet p = server(sp_welcome);
        p.slot = 3;
        p.connection_id = 0x11223344;
        table.push_back({"welcome", p, "02 03000000 44332211 06000000"});
    }
    {
        server_packet p = server(sp_race_info);
        p.time_limit = 23040;
        p.laps = 3;
        p.gate_drop = 640;
        for (int i = 0; i < 20; i++) p.digest[(size_t)i] = (uint8_t)(0x10 + i);
        p.text = "rabbithill";
        table.push_back({"race info", p,
                         "04 09000000 005A0000 03000000 80020000 "
                         "101112131415161718191A1B1C1D1E1F20212223 72616262697468696C6C"});
    }
    {
        server_packet p = server(sp_slot_info);
        p.slot = 12;
        p.text = "KX\n5\nBo";
        table.push_back({"slot info", p, "06 09000000 0C000000 " + rider_text});
    }
    {
        server_packet p = server(sp_start);
        p.start_position = 160;
        p.text = "KX\n5\nBo";
        table.push_back({"start", p, "08 09000000 A0000000 " + rider_text});
    }
    {
        server_packet p = server(sp_time_sync);
        p.server_tic = 1000;
        p.echoed_tic = 996;
        table.push_back({"time sync", p, "0A 09000000 E8030000 E4030000"});
    }
    {
        server_packet p = server(sp_states);
        p.server_tic = 1000;
        p.echoed_tic = 996;
        p.record_count = 2;
        p.records[0] = {3, 20, 992, filled_state(0xAB)};
        p.records[1] = {159, 300, 988, filled_state(0xCD)};
        table.push_back({"states", p,
                         "0B 09000000 E8030000 E4030000 02000000 "
                         "0300 1400 E0030000 *39:AB "
                         "9F00 2C01 DC030000 *39:CD"});
    }
    {
        server_packet p = server(sp_ignored);
        p.value = 1;
        table.push_back({"ignored", p, "0D 01000000"});
    }
    {
        server_packet p = server(sp_restart);
        p.race_id = 10;
        table.push_back({"restart", p, "0E 0A000000"});
    }
    table.push_back({"disconnected", server(sp_disconnected), "0F"});
    {
        server_packet p = server(sp_error);
        p.text = "bad";
        table.push_back({"error", p, "10 626164"});
    }
    {
        server_packet p = server(sp_reliable);
        p.sequence = 2;
        p.message_type = msg_command;
        p.payload = bytes_of(std::string("sendready"));
        table.push_back({"reliable", p, "11 02000000 18 73656E647265616479"});
    }
    {
        server_packet p = server(sp_ack);
        p.sequence = 4;
        table.push_back({"ack", p, "12 04000000"});
    }
    {
        server_packet p = server(sp_redirect);
        p.client_token = 0xAABBCCDD;
        p.text = "h:1";
        table.push_back({"redirect", p, "19 DDCCBBAA 683A31"});
    }

    for (const golden& g : table) {
        SCOPED_TRACE(g.name);
        std::vector<uint8_t> want = hex(g.bytes);
        datagram d;
        ASSERT_TRUE(encode_server_packet(g.p, d));
        EXPECT_EQ(bytes_of(d), want);

        server_packet back;
        ASSERT_TRUE(decode_server_packet(want.data(), want.size(), back));
        EXPECT_FALSE(back.records_short);
        datagram again;
        ASSERT_TRUE(encode_server_packet(back, again));
        EXPECT_EQ(bytes_of(again), want);
    }
}

TEST(NetPackets, StatesPacketWithTwentyOneRidersFillsOneDatagram) {
    server_packet p = server(sp_states);
    p.record_count = max_state_records;
    for (int i = 0; i < max_state_records; i++) p.records[(size_t)i] = {i * 7, i, 1000 + i, filled_state((uint8_t)i)};
    datagram d;
    ASSERT_TRUE(encode_server_packet(p, d));
    EXPECT_EQ(max_state_records, 21);
    EXPECT_EQ(d.size, 17u + 21u * 47u);
    server_packet back;
    ASSERT_TRUE(decode_server_packet(d.bytes.data(), d.size, back));
    ASSERT_EQ(back.record_count, 21);
    EXPECT_EQ(back.records[20].slot, 140);
    EXPECT_EQ(back.records[20].tic, 1020);
    EXPECT_EQ(back.records[20].state, filled_state(20));
}

TEST(NetPackets, MalformedDatagramsAreRefused) {
    struct bad {
        const char* name;
        bool from_server;
        std::string bytes;
    };
    const std::vector<bad> table = {
        {"empty", true, ""},
        {"unknown type", true, "03 00000000"},
        {"type 200", true, "C8 00000000 00000000 00000000"},
        {"welcome short", true, "02 03000000 44332211 0600"},
        {"welcome negative slot", true, "02 FFFFFFFF 44332211 06000000"},
        {"welcome slot 161", true, "02 A1000000 44332211 06000000"},
        {"race info short", true, "04 09000000 005A0000 03000000 80020000 *19:00"},
        {"slot info slot 160", true, "06 09000000 A0000000 41"},
        {"slot info negative slot", true, "06 09000000 FBFFFFFF 41"},
        {"slot info short", true, "06 09000000 0C0000"},
        {"start position -1", true, "08 09000000 FFFFFFFF"},
        {"start position 1000", true, "08 09000000 E8030000"},
        {"time sync short", true, "0A 09000000 E8030000 E40300"},
        {"states short header", true, "0B 09000000 E8030000 E4030000 0200"},
        {"states negative count", true, "0B 09000000 E8030000 E4030000 FFFFFFFF"},
        {"ignored short", true, "0D 01"},
        {"restart short", true, "0E 0A00"},
        {"reliable without type", true, "11 02000000"},
        {"ack short", true, "12 0400"},
        {"redirect short", true, "19 DDCCBB"},
        {"contact short", false, "00 01000000 00000000 28000000 DDCCBBAA 000000"},
        {"client info short", false, "03 07000000 44332211 01020304 00000000 DDCCBBAA *19:00"},
        {"track ack negative slot", false, "05 FEFFFFFF 44332211 09000000"},
        {"track ack slot 161", false, "05 A1000000 44332211 09000000"},
        {"slot ack last slot -1", false, "07 07000000 44332211 09000000 FFFFFFFF"},
        {"slot ack short", false, "07 07000000 44332211 09000000"},
        {"state one byte short", false, "0B 07000000 44332211 09000000 E8030000 E4030000 *38:00"},
        {"disconnect short", false, "0F 07000000 443322"},
        {"reliable without type", false, "11 07000000 44332211 05000000"},
        {"ack short", false, "12 07000000 44332211 0201"},
        {"server-only type", false, "01"},
        {"unknown type", false, "63 07000000 44332211 09000000"},
    };
    for (const bad& b : table) {
        SCOPED_TRACE(b.name);
        std::vector<uint8_t> bytes = hex(b.bytes);
        if (b.from_server) {
            server_packet p;
            EXPECT_FALSE(decode_server_packet(bytes.data(), bytes.size(), p));
        } else {
            client_packet p;
            EXPECT_FALSE(decode_client_packet(bytes.data(), bytes.size(), p));
        }
    }
}

TEST(NetPackets, OddButUsableDatagramsAreCutAndKept) {
    server_packet p;
    // Fewer records than the count says: the whole ones stay, the packet is marked.
    std::vector<uint8_t> b = hex("0B 09000000 E8030000 E4030000 03000000 0300 1400 E0030000 *39:AB 0400 1400 E003");
    ASSERT_TRUE(decode_server_packet(b.data(), b.size(), p));
    EXPECT_EQ(p.record_count, 1);
    EXPECT_TRUE(p.records_short);
    EXPECT_EQ(p.records[0].slot, 3);

    // A record naming slot 160 or more is left out, the others kept.
    b = hex("0B 09000000 E8030000 E4030000 03000000 A000 0000 00000000 *39:00 "
            "FFFF 0000 00000000 *39:00 0500 0000 00000000 *39:00");
    ASSERT_TRUE(decode_server_packet(b.data(), b.size(), p));
    EXPECT_FALSE(p.records_short);
    ASSERT_EQ(p.record_count, 1);
    EXPECT_EQ(p.records[0].slot, 5);

    // A huge count in a small packet.
    b = hex("0B 09000000 E8030000 E4030000 FFFFFF7F");
    ASSERT_TRUE(decode_server_packet(b.data(), b.size(), p));
    EXPECT_EQ(p.record_count, 0);
    EXPECT_TRUE(p.records_short);

    // Trailing bytes after a fixed layout are ignored.
    b = hex("02 03000000 44332211 06000000 FFFF");
    ASSERT_TRUE(decode_server_packet(b.data(), b.size(), p));
    EXPECT_EQ(p.slot, 3);
    EXPECT_EQ(p.protocol, 6);

    // Texts end at a NUL and are cut to their buffers.
    b = hex("10 6F6B 00 6A756E6B");
    ASSERT_TRUE(decode_server_packet(b.data(), b.size(), p));
    EXPECT_EQ(p.text, "ok");
    b = hex("04 09000000 005A0000 03000000 80020000 *20:00 *400:61");
    ASSERT_TRUE(decode_server_packet(b.data(), b.size(), p));
    EXPECT_EQ(p.text.size(), max_track_name);
    b = hex("19 DDCCBBAA *300:61");
    ASSERT_TRUE(decode_server_packet(b.data(), b.size(), p));
    EXPECT_EQ(p.text.size(), max_redirect_address);
    EXPECT_EQ(p.client_token, 0xAABBCCDDu);

    // A datagram longer than the receive buffer is read as its first 1023 bytes.
    b = hex("10 *2000:61");
    ASSERT_TRUE(decode_server_packet(b.data(), b.size(), p));
    EXPECT_EQ(p.text.size(), (size_t)max_datagram - 1);

    // Encoders cut what does not fit instead of overrunning.
    client_packet c = client(cp_client_info);
    c.text.assign(5000, 'x');
    datagram d;
    ASSERT_TRUE(encode_client_packet(c, d));
    EXPECT_EQ(d.size, (size_t)max_datagram);
}

TEST(NetPackets, PasswordProofIsRipemd160DigestBytesReversed) {
    // RIPEMD-160("message digest") = 5d0689ef 49d2fae5... (the published test
    // vector); "gest" as little-endian bytes is 0x74736567.
    EXPECT_EQ(password_proof("message di", 0x74736567), (std::array<uint8_t, 4>{0xEF, 0x89, 0x06, 0x5D}));
    // RIPEMD-160("abcdefghijklmnopqrstuvwxyz") = f71c2710 9c692c1b..., "wxyz" = 0x7A797877.
    EXPECT_EQ(password_proof("abcdefghijklmnopqrstuv", 0x7A797877), (std::array<uint8_t, 4>{0x10, 0x27, 0x1C, 0xF7}));

    client_packet p = client(cp_client_info);
    p.proof = password_proof("message di", 0x74736567);
    datagram d;
    encode_client_packet(p, d);
    EXPECT_EQ(std::vector<uint8_t>(d.bytes.begin() + 9, d.bytes.begin() + 13), hex("EF89065D"));
}

TEST(NetPackets, RiderInfoTextRoundTripsAndFallsBackToTheShortForm) {
    rider_info info{"KX250", "red", "stripes", "gold", "lid", "1234", std::string(80, 'n')};
    std::string text = client_info_text(info, 982);
    EXPECT_EQ(text, "KX250|red|stripes|gold|lid\n123\n" + std::string(63, 'n'));
    rider_info back = parse_rider_info(text);
    EXPECT_EQ(back.model, "KX250");
    EXPECT_EQ(back.riding_gear, "red");
    EXPECT_EQ(back.bike_graphics, "stripes");
    EXPECT_EQ(back.wheel_graphics, "gold");
    EXPECT_EQ(back.helmet, "lid");
    EXPECT_EQ(back.number, "123");
    EXPECT_EQ(back.name, std::string(63, 'n'));

    info.bike_graphics.assign(60, 'g');
    info.name = "Bo";
    EXPECT_EQ(client_info_text(info, 60), "KX250\n123\nBo");

    rider_info partial = parse_rider_info("YZ|blue\n7");
    EXPECT_EQ(partial.model, "YZ");
    EXPECT_EQ(partial.riding_gear, "blue");
    EXPECT_EQ(partial.helmet, "");
    EXPECT_EQ(partial.number, "7");
    EXPECT_EQ(partial.name, "");
    EXPECT_EQ(parse_rider_info("a|b|c|d|e|f\n99\nAl\nextra").name, "Al");
}
