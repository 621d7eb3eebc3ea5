// The shop example's database part, served by a real web server (lighttpd
// starting the runner as a CGI program) from a real FerretDB.
#include <gtest/gtest.h>

#include "db/db_fixture.h"
#include "support/request_records.h"
#include "support/web_server.h"

namespace tolv::tests {
namespace {

const std::string SHOP_DIR = std::string(TOLV_SOURCE_DIR) + "/examples/shop";

class ShopStore : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        seed("items", R"([
            {"_id": 1, "code": "tea", "name": "Green tea", "price": 450, "stock": 12},
            {"_id": 2, "code": "cup", "name": "Tea cup", "price": 1200, "stock": 3},
            {"_id": 3, "code": "pot", "name": "Iron pot", "price": 6800, "stock": 0}
        ])");
        seed("orders", R"([
            {"_id": 1, "customer": "Ann", "code": "tea", "quantity": 2, "total": 900},
            {"_id": 2, "customer": "Bob", "code": "cup", "quantity": 1, "total": 1200},
            {"_id": 3, "customer": "Ann", "code": "cup", "quantity": 1, "total": 1200}
        ])");
        box.write_config("MODULE_DIR=" + SHOP_DIR + "\nINCLUDE=pricing.js\nVAR='shop_db':'" + ferretdb().uri(database) +
                         "'\nLOGFILE=" + box.path("journal.log") + "\n");
        server = std::make_unique<WebServer>(box);
        ASSERT_TRUE(server->running()) << server->startup_log();
    }
    std::string request(const std::string& top, const std::string& variables = "") const {
        return script_request(top, "store.js") + variables;
    }
    std::unique_ptr<WebServer> server;
};

TEST_F(ShopStore, FrontPageListsStockAndCustomersFromTheDatabase) {
    HttpAnswer answer = server->post(request("store_front()"));
    EXPECT_EQ(answer.status, 200);
    // Items in stock, cheapest first; per customer [name, "", [orders, total]].
    EXPECT_EQ(answer.body,
              "A1318^A50000113teaC11Green%20teaQ450A1318^A50000213cupB9Tea%20cupR1200"
              "A1215items18^A50000118^A500002"
              "A1218^A500004O2R2100A1318^A50000313Ann1018^A500004"
              "A1218^A500006O1R1200A1318^A50000513Bob1018^A500006"
              "A1219customers18^A50000318^A500005"
              "C18101010");
}

TEST_F(ShopStore, OrderIsPricedFromTheStoredCatalogue) {
    std::string codes = "A" + counted_number(2) + counted_text("codes") + counted_text("tea") + counted_text("cup");
    HttpAnswer answer = server->post(request("store_order(customer, codes, quantity)",
                                             counted_record('S', 1, counted_text("customer") + counted_text("Ann")) +
                                                 counted_record('I', 1, counted_text("quantity") + counted_number(10)) +
                                                 counted_record('A', 1, codes)));
    EXPECT_EQ(answer.status, 200);
    EXPECT_NE(answer.body.find("14nameC11Green%20tea15totalR4050"), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("14nameB9Tea%20cup15totalS10800"), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("17earlier"), std::string::npos) << answer.body;

    std::string unknown = "A" + counted_number(1) + counted_text("codes") + counted_text("teapot");
    answer = server->post(request("store_order(customer, codes, quantity)",
                                  counted_record('S', 1, counted_text("customer") + counted_text("Ann")) +
                                      counted_record('I', 1, counted_text("quantity") + counted_number(1)) +
                                      counted_record('A', 1, unknown)));
    EXPECT_EQ(answer.body, "S13404" + counted_text("unknown item teapot"));
}

}  // namespace
}  // namespace tolv::tests
