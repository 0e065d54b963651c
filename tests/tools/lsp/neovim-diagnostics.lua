-- Neovim (0.7 and later) as the language server's client, headless: opens the file named by
-- CORVANE_LSP_FILE with corvane-urdf lsp (CORVANE_URDF_TOOL) attached, waits for its
-- diagnostics and writes them to CORVANE_LSP_OUT, one "LINE CODE SEVERITY" line each (LINE from
-- 1, SEVERITY as vim.diagnostic.severity names it); "timeout" when none came.
local tool = os.getenv("CORVANE_URDF_TOOL")
local file = os.getenv("CORVANE_LSP_FILE")
local out = os.getenv("CORVANE_LSP_OUT")

vim.cmd("edit " .. vim.fn.fnameescape(file))
local buffer = vim.api.nvim_get_current_buf()
local client = vim.lsp.start_client({
  name = "corvane-urdf",
  cmd = { tool, "lsp" },
  root_dir = vim.fn.fnamemodify(file, ":h"),
})
vim.lsp.buf_attach_client(buffer, client)

local got = vim.wait(20000, function()
  return #vim.diagnostic.get(buffer) > 0
end, 50)

local lines = {}
if not got then
  table.insert(lines, "timeout")
else
  for _, d in ipairs(vim.diagnostic.get(buffer)) do
    table.insert(lines, string.format("%d %s %s", d.lnum + 1, tostring(d.code or d.user_data and
      d.user_data.lsp and d.user_data.lsp.code), vim.diagnostic.severity[d.severity]))
  end
end
vim.fn.writefile(lines, out)
vim.lsp.stop_client(client)
vim.cmd("qall!")
