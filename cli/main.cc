// tavobook: the guestbook service's one executable.
//   tavobook call    runs one member of the component (JSON in, JSON out)
//   tavobook serve   serves the web site
//   tavobook seed    fills a store with guestbooks and messages
//   tavobook backup  copies a SQLite store while the site runs
//   tavobook migrate copies a whole site from one store to another
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/backup.h"
#include "cli/call.h"
#include "cli/migrate.h"
#include "cli/seed.h"
#include "server/serve.h"

int main(int argc, char** argv) {
  CLI::App app{"TavoBook: a multi-user hosted guestbook service"};
  app.require_subcommand(1);
  auto* call = app.add_subcommand(
      "call",
      "Run one public member of the component against a page context read as "
      "JSON on stdin; print the outcome as JSON");
  call->footer(tb::cli::CallHelp());
  auto* serve = app.add_subcommand("serve", "Serve the web site");
  tb::server::ServeOptions options;
  serve->add_option("--listen", options.listen,
                    "HOST:PORT to listen on (port 0: any free)");
  serve->add_option("--db", options.db,
                    "SQLite file of the store (default ./data/tavobook.db)");
  serve->add_option("--config", options.config,
                    "TOML file: [component] properties, [server] settings");
  serve->add_option("--set", options.sets,
                    "PROPERTY=VALUE for the component (wins over the file)");
  serve->add_option("--threads", options.threads, "worker threads (default: cores)");
  serve->add_option("--admin-password", options.admin_password,
                    "password of the superuser \"admin\" when it is created");
  auto* seed = app.add_subcommand(
      "seed", "Fill a store with registered guestbooks and posted messages");
  tb::cli::SeedOptions seeding;
  seed->add_option("--db", seeding.db, "SQLite file of the store (created when missing)")
      ->required();
  seed->add_option("--guestbooks", seeding.guestbooks, "guestbooks book1 to bookN")
      ->check(CLI::NonNegativeNumber);
  seed->add_option("--messages", seeding.messages, "messages posted to one guestbook")
      ->check(CLI::NonNegativeNumber);
  seed->add_option("--book", seeding.book,
                   "the guestbook of the messages (default book1; registered when "
                   "missing)");
  auto* backup = app.add_subcommand(
      "backup", "Copy a SQLite store consistently while the site goes on writing to it");
  tb::cli::BackupOptions backing;
  backup->add_option("--db", backing.db, "the store: its SQLite file, or sqlite:PATH")
      ->required();
  backup
      ->add_option("--to", backing.to, "the copy (written beside it first, then renamed)")
      ->required();
  auto* migrate = app.add_subcommand(
      "migrate", "Copy every guestbook and message from one store into an empty one");
  tb::cli::MigrateOptions migrating;
  migrate
      ->add_option("--from", migrating.from, "the source: sqlite:PATH or mariadb://...")
      ->required();
  migrate
      ->add_option("--to", migrating.to,
                   "the target, holding no guestbook and no message yet")
      ->required();
  migrate->add_option("--batch", migrating.batch, "rows per transaction (default 1000)")
      ->check(CLI::PositiveNumber);
  CLI11_PARSE(app, argc, argv);

  if (call->parsed()) return tb::cli::RunCall(std::cin, std::cout, std::cerr);
  if (seed->parsed()) return tb::cli::RunSeed(seeding, std::cout, std::cerr);
  if (backup->parsed()) return tb::cli::RunBackup(backing, std::cout, std::cerr);
  if (migrate->parsed()) return tb::cli::RunMigrate(migrating, std::cout, std::cerr);
  return tb::server::Serve(options);
}
