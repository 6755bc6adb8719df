kv.tic_handler = function () { for (;;) { try { while (1) {} } catch (e) {} } };
